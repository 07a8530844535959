// demo, dump, check, to-json and from-json: container files and their
// lossless JSON form.
#include "commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "cli_io.h"
#include "demo_document.h"
#include "dump_printer.h"
#include "json_form.h"
#include "record_walk.h"

namespace qctool {

namespace {

FileError unreadable(int32_t status, const std::string &why)
{
    FileError e(status, 0, why);
    e.located = false;
    return e;
}

// Why the library refused the file at `path`, from its bytes.
FileError explain(const std::string &path, int32_t status)
{
    std::vector<unsigned char> bytes;
    std::string why;
    if (!read_input(path, &bytes, &why)) return unreadable(status, why);
    FileError error;
    if (Owned loaded{unframe(bytes, &error)}; loaded.o) return FileError(status, 0, "the library refuses the file");
    // Say why a class that exists cannot be in a file at all.
    if (bytes.size() >= 16) {
        size_t length = bytes[12] | bytes[13] << 8 | bytes[14] << 16 | size_t{bytes[15]} << 24;
        if (length <= bytes.size() - 16) {
            std::string name(bytes.begin() + 16, bytes.begin() + 16 + static_cast<ptrdiff_t>(length));
            if (has_no_saved_form(name))
                error.message += ": " + name + " containers have no saved form (their Save and Load answer StatusFailed)";
        }
    }
    return error;
}

}  // namespace

QuolanObject *load_file(const std::string &path, FileError *error)
{
    std::string why;
    const std::string file = input_file(path, &why);
    if (file.empty()) {
        *error = unreadable(StatusFailed, why);
        return nullptr;
    }
    QuolanObject *object = nullptr;
    const int32_t status = quolan_file_load(file.c_str(), &object);
    if (status != StatusOk) *error = explain(file, status);
    return object;
}

bool read_file(const std::string &path, std::vector<unsigned char> *bytes)
{
    std::string why;
    if (read_input(input_file(path, &why), bytes, &why)) return true;
    report(input_name(path), why);
    return false;
}

bool save_file(QuolanObject *object, const std::string &path, FileError *error)
{
    // The library replaces a regular file by rename.  Standard output, a
    // device or a pipe cannot be replaced: the file goes there once the
    // library has written it whole.
    struct stat st {};
    const bool copied = path == "-" || (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode));
    TemporaryFile copy;
    std::string why;
    if (copied && !copy.create(&why)) {
        *error = unreadable(StatusFailed, why);
        return false;
    }
    const std::string &file = copied ? copy.path() : path;
    const int32_t status = quolan_file_save(object, file.c_str());
    if (status != StatusOk) {
        // errno says why when the file system refused; else the container did.
        *error = unreadable(status, status == StatusFailed && errno
                                        ? std::string("cannot write: ") + std::strerror(errno)
                                        : "the " + class_name(object) + " cannot be saved (status " +
                                              std::to_string(status) + " " + quolan_status_name(status) + ")");
        return false;
    }
    if (copied && !copy_file(file, path, &why)) {
        *error = unreadable(StatusFailed, why);
        return false;
    }
    return true;
}

int report(const std::string &name, const FileError &e)
{
    if (!e.located) return report(name, e.message);
    std::string where = "at byte " + std::to_string(e.offset);
    if (!e.record_path.empty()) where += ", in " + e.record_path;
    std::fprintf(stderr, "qctool: %s: %s: %s (status %d %s)\n", name.c_str(), where.c_str(),
                 e.message.c_str(), e.status, quolan_status_name(e.status));
    return 1;
}

int report(const std::string &name, const std::string &message)
{
    std::fprintf(stderr, "qctool: %s: %s\n", name.c_str(), message.c_str());
    return 1;
}

int report(const std::string &name, const JsonError &e)
{
    if (!e.located) return report(name, e.message);
    return report(name + ":" + std::to_string(e.line) + ":" + std::to_string(e.column),
                  "at byte " + std::to_string(e.offset) + ": " + e.message);
}

int usage(const std::string &message)
{
    std::fprintf(stderr, "qctool: %s\nTry 'qctool --help'.\n", message.c_str());
    return 2;
}

int binary_to_terminal(const std::string &command)
{
    return usage(command + ": standard output is a terminal, and a container file is binary; "
                           "name an output file or redirect standard output");
}

QuolanObject *load(const std::string &path)
{
    FileError error;
    QuolanObject *object = load_file(path, &error);
    if (!object) report(input_name(path), error);
    return object;
}

namespace {

int print_to(QuolanObject *o, FILE *out, const std::string &name)
{
    int32_t status = print_container(o, out);
    return status == StatusOk ? 0 : report(name, FileError{status, 0, "printing reported an error", ""});
}

}  // namespace

// With "-" as FILE the file goes to standard output and the report to
// standard error.
int demo(const Operands &args)
{
    const std::string path = args.empty() ? "demo.qcf" : args[0];
    if (is_terminal(path)) return binary_to_terminal("demo");
    FILE *text = path == "-" ? stderr : stdout;
    Owned doc{build_demo_document()};
    if (!doc.o) return report("demo", "cannot build the document");
    // Saved, loaded back and saved again through files of the tool's own;
    // the first is what goes to `path`.
    TemporaryFile first, again;
    std::vector<unsigned char> saved, resaved;
    FileError error;
    std::string why;
    if (!first.create(&why) || !again.create(&why)) return report("demo", why);
    if (!save_file(doc.o, first.path(), &error)) return report("demo", error);
    Owned loaded{load_file(first.path(), &error)};
    if (!loaded.o) return report("demo", error);
    if (!read_input(first.path(), &saved, &why)) return report("demo", why);
    if (!write_output(path, saved, &why)) return report(output_name(path), why);
    std::fprintf(text, "saved a %s document: %zu bytes to %s\n", class_name(doc.o).c_str(), saved.size(),
                 output_name(path).c_str());
    if (!save_file(loaded.o, again.path(), &error)) return report("demo", error);
    if (!read_input(again.path(), &resaved, &why)) return report("demo", why);
    if (resaved != saved) return report(output_name(path), "the loaded document saves differently");
    std::fprintf(text, "loaded it back: the same %zu bytes when saved again\n\n", resaved.size());
    return print_to(loaded.o, text, output_name(path));
}

int dump(const Operands &args)
{
    Owned o{load(args[0])};
    if (!o.o) return 1;
    std::printf("%s\n", class_name(o.o).c_str());
    return print_to(o.o, stdout, input_name(args[0]));
}

int check(const Operands &args)
{
    Owned o{load(args[0])};
    std::vector<unsigned char> bytes;
    if (!o.o || !read_file(args[0], &bytes)) return 1;
    if (auto repeat = find_repeat(bytes))
        return report(input_name(args[0]), FileError{StatusFailed, repeat->offset, repeat->message, repeat->path});
    std::printf("%s: ok, one %s\n", input_name(args[0]).c_str(), class_name(o.o).c_str());
    return 0;
}

int to_json(const Operands &args)
{
    std::vector<unsigned char> bytes;
    if (!Owned{load(args[0])}.o || !read_file(args[0], &bytes)) return 1;
    const std::string out = args.size() > 1 ? args[1] : "-";
    std::string text;
    try {
        text = file_to_json(bytes).dump(2) + "\n";
    } catch (const std::exception &e) {
        return report(input_name(args[0]), std::string("no JSON form: ") + e.what());
    }
    std::string why;
    return write_output(out, text, &why) ? 0 : report(output_name(out), why);
}

// Only a form that the library loads, and that repeats no key or member, is
// written, so OUT is always a file the library could have written.  A form
// the library reads differently from how it saves (say, free positions
// after a dictionary's last key) is written with a note.
int from_json(const Operands &args)
{
    if (is_terminal(args[1])) return binary_to_terminal("from-json");
    const std::string name = input_name(args[0]);
    std::string why;
    FILE *in = open_input(args[0], &why);
    if (!in) return report(name, why);
    Json form;
    JsonError not_json;
    const bool read = read_form(in, &form, &not_json);
    close_input(in);
    if (!read) return report(name, not_json);
    std::vector<unsigned char> bytes;
    try {
        bytes = json_to_file(form);
    } catch (const JsonFormError &e) {
        return report(name, e.what());
    } catch (const std::exception &e) {
        return report(name, std::string("cannot turn the form into a file: ") + e.what());
    }
    // Refusals name the JSON path; the byte offset and record path are those
    // of the container file the form describes.
    auto refuse = [&](const std::string &path, const FileError &e) {
        std::string where = "byte " + std::to_string(e.offset) + " of the container file";
        if (!e.record_path.empty()) where += ", in " + e.record_path;
        return report(name + ": " + path, e.message + " (" + where + "; status " + std::to_string(e.status) +
                                              " " + quolan_status_name(e.status) + ")");
    };
    FileError error;
    Owned o{unframe(bytes, &error)};
    if (!o.o) {
        error.message = "the library refuses the container this form describes: " + error.message;
        return refuse(json_path_at(form, error.offset), error);
    }
    if (auto repeat = find_repeat(bytes))
        return refuse(json_path_at(form, repeat->offset + 1),
                      FileError{StatusFailed, repeat->offset, repeat->message, repeat->path});
    TemporaryFile saved;
    std::vector<unsigned char> again;
    if (saved.create(&why) && save_file(o.o, saved.path(), &error) && read_input(saved.path(), &again, &why) &&
        again != bytes)
        std::fprintf(stderr, "qctool: %s: note: loading and saving this container gives other bytes\n", name.c_str());
    return write_output(args[1], bytes, &why) ? 0 : report(output_name(args[1]), why);
}

}  // namespace qctool

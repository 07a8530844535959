// demo, dump, check, to-json and from-json: container files and their
// lossless JSON form.
#include "commands.h"

#include <cstdio>

#include "cli_io.h"
#include "demo_document.h"
#include "dump_printer.h"
#include "json_form.h"
#include "record_walk.h"

namespace qctool {

int report(const std::string &name, const FileError &e)
{
    std::string where = "at byte " + std::to_string(e.offset);
    if (!e.record_path.empty()) where += ", in " + e.record_path;
    std::fprintf(stderr, "qctool: %s: %s: %s (status %d %s)\n", name.c_str(), where.c_str(),
                 e.message.c_str(), e.status, status_name(e.status));
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

bool load(const std::string &path, std::vector<unsigned char> *bytes, QuolanObject **object)
{
    std::string why;
    if (!read_input(path, bytes, &why)) {
        report(input_name(path), why);
        return false;
    }
    FileError error;
    *object = unframe(*bytes, &error);
    if (*object) return true;
    // Say why a class that exists cannot be in a file at all.
    if (bytes->size() >= 16) {
        size_t length = (*bytes)[12] | (*bytes)[13] << 8 | (*bytes)[14] << 16 | size_t{(*bytes)[15]} << 24;
        if (length <= bytes->size() - 16) {
            std::string name(bytes->begin() + 16, bytes->begin() + 16 + static_cast<ptrdiff_t>(length));
            if (has_no_saved_form(name))
                error.message += ": " + name + " containers have no saved form (their Save and Load answer StatusFailed)";
        }
    }
    report(input_name(path), error);
    return false;
}

namespace {

struct Owned {
    QuolanObject *o;
    explicit Owned(QuolanObject *object) : o(object) {}
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    ~Owned()
    {
        if (o) quolan_base_methods(o)->Delete(o);
    }
};

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
    std::vector<unsigned char> saved;
    FileError error;
    if (!frame(doc.o, &saved, &error)) return report("demo", error);
    std::string why;
    if (!write_output(path, saved, &why)) return report(output_name(path), why);
    std::fprintf(text, "saved a %s document: %zu bytes to %s\n", class_name(doc.o).c_str(), saved.size(),
                 output_name(path).c_str());

    Owned loaded{unframe(saved, &error)};
    if (!loaded.o) return report(output_name(path), error);
    std::vector<unsigned char> again;
    if (!frame(loaded.o, &again, &error)) return report(output_name(path), error);
    if (again != saved) return report(output_name(path), "the loaded document saves differently");
    std::fprintf(text, "loaded it back: the same %zu bytes when saved again\n\n", again.size());
    return print_to(loaded.o, text, output_name(path));
}

int dump(const Operands &args)
{
    std::vector<unsigned char> bytes;
    QuolanObject *raw = nullptr;
    if (!load(args[0], &bytes, &raw)) return 1;
    Owned o{raw};
    std::printf("%s\n", class_name(o.o).c_str());
    return print_to(o.o, stdout, input_name(args[0]));
}

int check(const Operands &args)
{
    std::vector<unsigned char> bytes;
    QuolanObject *raw = nullptr;
    if (!load(args[0], &bytes, &raw)) return 1;
    Owned o{raw};
    if (auto repeat = find_repeat(bytes))
        return report(input_name(args[0]), FileError{StatusFailed, repeat->offset, repeat->message, repeat->path});
    std::printf("%s: ok, one %s\n", input_name(args[0]).c_str(), class_name(o.o).c_str());
    return 0;
}

int to_json(const Operands &args)
{
    std::vector<unsigned char> bytes;
    QuolanObject *raw = nullptr;
    if (!load(args[0], &bytes, &raw)) return 1;
    Owned o{raw};
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
                                              " " + status_name(e.status) + ")");
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
    std::vector<unsigned char> again;
    if (frame(o.o, &again, &error) && again != bytes)
        std::fprintf(stderr, "qctool: %s: note: loading and saving this container gives other bytes\n", name.c_str());
    return write_output(args[1], bytes, &why) ? 0 : report(output_name(args[1]), why);
}

}  // namespace qctool

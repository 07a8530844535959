// qctool: look inside container files, check them, turn them into their
// JSON form and back, and show the library at work.  Output is plain and
// scriptable; errors go to stderr with the status name and byte offset (or
// the JSON path), and the exit code is nonzero.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "container_file.h"
#include "demo_document.h"
#include "json_form.h"

namespace {

using qctool::FileError;

int usage()
{
    std::fprintf(stderr,
                 "usage: qctool demo [FILE]   build a document, save it (default: demo.qcf),\n"
                 "                            load it back, check it, print it\n"
                 "       qctool dump FILE     print the container a file holds\n"
                 "       qctool check FILE    check that a file holds one valid container\n"
                 "       qctool to-json FILE  print the lossless JSON form of a file\n"
                 "       qctool from-json JSON OUT\n"
                 "                            write the container file a JSON form describes\n");
    return 2;
}

int fail(const std::string &what, const FileError &e)
{
    std::fprintf(stderr, "qctool: %s: %s (status %d %s, at byte %zu)\n", what.c_str(),
                 e.message.c_str(), e.status, qctool::status_name(e.status), e.offset);
    return 1;
}

struct Owned {
    QuolanObject *o;
    ~Owned()
    {
        if (o) quolan_base_methods(o)->Delete(o);
    }
};

bool is_a(QuolanObject *o, const char *name)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s", name);
    return quolan_base_methods(o)->IsA(o, buffer) != 0;
}

// Prints any container: the library's printers for arrays and dictionaries,
// one line per member for sets.
int32_t print(QuolanObject *o, FILE *out)
{
    if (is_a(o, "Dict")) return debug_print_dict(o, 0, out);
    if (is_a(o, "Array")) return debug_print_array(o, 0, out);
    if (is_a(o, "GenSet")) {
        const GenSetMethods *m = quolan_genset_methods(o);
        void *value;
        int32_t tag;
        for (int32_t i = 0; m->GetValue(o, &value, &tag, i) == 0; ++i) {
            if (tag == Null) continue;
            std::fprintf(out, " [%d] = ", i);
            debug_print_element(value, tag, out);
            std::fputc('\n', out);
        }
        return 0;
    }
    return StatusBadType;
}

QuolanObject *load(const std::string &path, FileError *error)
{
    std::vector<unsigned char> bytes;
    std::string why;
    if (!qctool::read_file(path, &bytes, &why)) {
        *error = {StatusFailed, 0, "cannot read: " + why};
        return nullptr;
    }
    return qctool::unframe(bytes, error);
}

int demo(const std::string &path)
{
    Owned doc{qctool::build_demo_document()};
    if (!doc.o) return fail("demo", {StatusFailed, 0, "cannot build the document"});
    std::vector<unsigned char> saved;
    FileError error;
    if (!qctool::frame(doc.o, &saved, &error)) return fail("demo", error);
    std::string why;
    if (!qctool::write_file(path, saved, &why)) return fail(path, {StatusFailed, 0, why});
    std::printf("saved a %s document: %zu bytes to %s\n", qctool::class_name(doc.o).c_str(),
                saved.size(), path.c_str());

    Owned loaded{load(path, &error)};
    if (!loaded.o) return fail(path, error);
    std::vector<unsigned char> again;
    if (!qctool::frame(loaded.o, &again, &error)) return fail(path, error);
    if (again != saved) return fail(path, {StatusFailed, 0, "loaded document saves differently"});
    std::printf("loaded it back: the same %zu bytes when saved again\n\n", again.size());
    int32_t status = print(loaded.o, stdout);
    return status == StatusOk ? 0 : fail(path, {status, 0, "printing reported an error"});
}

int dump(const std::string &path)
{
    FileError error;
    Owned o{load(path, &error)};
    if (!o.o) return fail(path, error);
    std::printf("%s\n", qctool::class_name(o.o).c_str());
    int32_t status = print(o.o, stdout);
    return status == StatusOk ? 0 : fail(path, {status, 0, "printing reported an error"});
}

int check(const std::string &path)
{
    FileError error;
    Owned o{load(path, &error)};
    if (!o.o) return fail(path, error);
    std::printf("%s: ok, one %s\n", path.c_str(), qctool::class_name(o.o).c_str());
    return 0;
}

// The class a framed file names, without loading anything; "" when the
// frame is too short to say.
std::string framed_class(const std::vector<unsigned char> &bytes)
{
    if (bytes.size() < 16) return "";
    size_t length = bytes[12] | bytes[13] << 8 | bytes[14] << 16 | size_t{bytes[15]} << 24;
    if (length > bytes.size() - 16) return "";
    return std::string(bytes.begin() + 16, bytes.begin() + 16 + static_cast<ptrdiff_t>(length));
}

int to_json(const std::string &path)
{
    std::vector<unsigned char> bytes;
    std::string why;
    if (!qctool::read_file(path, &bytes, &why)) return fail(path, {StatusFailed, 0, "cannot read: " + why});
    FileError error;
    Owned o{qctool::unframe(bytes, &error)};
    if (!o.o) {
        std::string name = framed_class(bytes);
        if (qctool::has_no_saved_form(name))
            error.message += ": " + name + " containers have no saved form (their Save and Load answer StatusFailed)";
        return fail(path, error);
    }
    try {
        std::printf("%s\n", qctool::file_to_json(bytes).dump(2).c_str());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "qctool: %s: no JSON form: %s\n", path.c_str(), e.what());
        return 1;
    }
    return 0;
}

int refuse_json(const std::string &path, const std::string &why)
{
    std::fprintf(stderr, "qctool: %s: %s\n", path.c_str(), why.c_str());
    return 1;
}

// Only a form that the library loads is written, so OUT is always a valid
// container file.  A form the library reads differently from how it saves
// (say, free positions after a dictionary's last key) is written with a note.
int from_json(const std::string &path, const std::string &out_path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return refuse_json(path, "cannot read: " + std::string(std::strerror(errno)));
    qctool::Json form;
    std::vector<unsigned char> bytes;
    try {
        form = qctool::Json::parse(in);
        bytes = qctool::json_to_file(form);
    } catch (const qctool::Json::exception &e) {
        return refuse_json(path, std::string("not JSON: ") + e.what());
    } catch (const qctool::JsonFormError &e) {
        return refuse_json(path, e.what());
    }
    FileError error;
    Owned o{qctool::unframe(bytes, &error)};
    if (!o.o) {
        std::string where = qctool::json_path_at(form, error.offset);
        error.message = "the library refuses the container this form describes: " + error.message;
        return fail(path + ": " + where, error);
    }
    std::vector<unsigned char> again;
    if (qctool::frame(o.o, &again, &error) && again != bytes)
        std::fprintf(stderr, "qctool: %s: note: loading and saving this container gives other bytes\n",
                     path.c_str());
    std::string why;
    if (!qctool::write_file(out_path, bytes, &why)) return fail(out_path, {StatusFailed, 0, why});
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) return usage();
    if (!qctool::create_all_classes()) {
        std::fprintf(stderr, "qctool: the container classes cannot be created\n");
        return 1;
    }
    std::string command = argv[1];
    if (command == "demo" && argc <= 3) return demo(argc == 3 ? argv[2] : "demo.qcf");
    if (command == "dump" && argc == 3) return dump(argv[2]);
    if (command == "check" && argc == 3) return check(argv[2]);
    if (command == "to-json" && argc == 3) return to_json(argv[2]);
    if (command == "from-json" && argc == 4) return from_json(argv[2], argv[3]);
    return usage();
}

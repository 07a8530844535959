// import and export: ordinary JSON in and out (docs/json.md).
#include <cstdio>
#include <sys/stat.h>

#include "cli_io.h"
#include "commands.h"
#include "output_stream.h"
#include "plain_json.h"
#include "quolan/containers.hpp"

namespace qctool {

namespace {

// The process ends right after an import or an export.  Deleting a large
// tree one container at a time just before that took 0.6 s of the 2.2 s an
// import of 186,000 objects took; the memory goes back with the process at
// no cost.  The pointer stays reachable, so leak checkers report nothing.
QuolanObject *volatile kept_until_exit;

// The library's load straight from the file, without the file's bytes in
// memory beside the containers (a second copy of the file was most of what
// an export added to the load).  NULL when anything fails; load() then
// reads the file again and says why.
QuolanObject *load_from_path(const std::string &path)
{
    struct stat st {};
    if (path == "-" || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    quolan::Stream stream = quolan::open_file_stream(path.c_str(), "rb");
    FileError ignored;
    return stream ? unframe_from(stream.get(), static_cast<size_t>(st.st_size), &ignored) : nullptr;
}

}  // namespace

int import_command(const Operands &args)
{
    const std::string out = args.size() > 1 ? args[1] : "-";
    if (is_terminal(out)) return binary_to_terminal("import");
    const std::string name = input_name(args[0]);
    std::string why;
    FILE *in = open_input(args[0], &why);
    if (!in) return report(name, why);
    JsonError error;
    QuolanObject *root = import_json(in, &error);
    close_input(in);
    if (!root) return report(name, error);
    kept_until_exit = root;
    // Saved straight into the output: the record is never whole in memory.
    Output output;
    if (!output.open(out, &why)) return report(output_name(out), why);
    quolan::Stream stream(output_stream_new(output));
    if (!stream) return report(name, "cannot make a stream");
    FileError failed;
    const bool saved = frame_to(root, stream.get(), &failed) && output_stream_flush(stream.get());
    // A failed write is what made the save fail; an incomplete file is removed.
    if (!saved && !output.failed()) return report(name, failed);
    return output.close(&why) ? 0 : report(output_name(out), why);
}

int export_command(const Operands &args)
{
    const std::string &path = args[0], out = args.size() > 1 ? args[1] : "-";
    // The file must load: export refuses what the library refuses.
    std::vector<unsigned char> bytes;
    QuolanObject *loaded = load_from_path(path);
    if (!loaded && !load(path, &bytes, &loaded)) return 1;
    kept_until_exit = loaded;
    std::string why;
    FILE *records = path == "-" ? fmemopen(bytes.data(), bytes.size(), "rb") : std::fopen(path.c_str(), "rb");
    if (!records) return report(input_name(path), "cannot read it again");
    Output output;
    if (!output.open(out, &why)) {
        std::fclose(records);
        return report(output_name(out), why);
    }
    size_t nulled = 0;
    const bool exported = export_json(records, output, args.compact, &nulled, &why);
    std::fclose(records);
    if (!exported && !why.empty()) return report(input_name(path), why);
    if (!output.close(&why)) return report(output_name(out), why);
    if (nulled)
        std::fprintf(stderr, "qctool: %s: note: %zu Double values that are NaN or infinite were written as null\n",
                     input_name(path).c_str(), nulled);
    return 0;
}

}  // namespace qctool

// import and export: ordinary JSON in and out (docs/json.md).
#include <cstdio>

#include "cli_io.h"
#include "commands.h"
#include "plain_json.h"

namespace qctool {

int import_command(const Operands &args)
{
    const std::string name = input_name(args[0]);
    std::vector<unsigned char> text;
    std::string why;
    if (!read_input(args[0], &text, &why)) return report(name, why);
    ImportError error;
    QuolanObject *root = import_json(text, &error);
    if (!root) return report(name, "at byte " + std::to_string(error.offset) + ": " + error.message);
    Owned container{root};
    FileError saved;
    return save_file(root, args[1], &saved) ? 0 : report(output_name(args[1]), saved);
}

int export_command(const Operands &args)
{
    // The library's load checks the file; the container goes before the
    // bytes come in, so the two never take memory at once.
    FileError error;
    if (!Owned{load_file(args[0], &error)}.o) return report(input_name(args[0]), error);
    std::vector<unsigned char> bytes;
    if (!read_file(args[0], &bytes)) return 1;
    std::string why, text;
    size_t nulled = 0;
    try {
        text = export_json(bytes, &nulled);
    } catch (const std::exception &e) {
        return report(input_name(args[0]), std::string("no JSON form: ") + e.what());
    }
    if (nulled)
        std::fprintf(stderr, "qctool: %s: note: %zu Double values that are NaN or infinite were written as null\n",
                     input_name(args[0]).c_str(), nulled);
    const std::string out = args.size() > 1 ? args[1] : "-";
    return write_output(out, text, &why) ? 0 : report(output_name(out), why);
}

}  // namespace qctool

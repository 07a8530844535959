// import and export: ordinary JSON in and out (docs/json.md).
#include <cstdio>

#include "cli_io.h"
#include "commands.h"
#include "plain_json.h"

namespace qctool {

namespace {

// The process ends right after an import or an export.  Deleting a large
// tree one container at a time just before that took 0.15 s of the 1.3 s an
// import of 186,000 objects took, and 0.2 s of its export; the memory goes
// back with the process at no cost.  The pointer stays reachable, so leak
// checkers report nothing.
QuolanObject *volatile kept_until_exit;

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
    FileError saved;
    return save_file(root, out, &saved) ? 0 : report(output_name(out), saved);
}

int export_command(const Operands &args)
{
    const std::string &path = args[0], out = args.size() > 1 ? args[1] : "-";
    // The file must load: export refuses what the library refuses.  The JSON
    // is then written from the file's records a buffer at a time, so beside
    // the container there is never more than a buffer of either.
    QuolanObject *loaded = load(path);
    if (!loaded) return 1;
    kept_until_exit = loaded;
    std::string why;
    const std::string file = input_file(path, &why);  // for "-", the copy the load read
    FILE *records = file.empty() ? nullptr : open_input(file, &why);
    if (!records) return report(input_name(path), why);
    Output output;
    if (!output.open(out, &why)) {
        close_input(records);
        return report(output_name(out), why);
    }
    size_t nulled = 0;
    const bool exported = export_json(records, output, args.compact, &nulled, &why);
    close_input(records);
    if (!exported && !why.empty()) return report(input_name(path), why);
    if (!output.close(&why)) return report(output_name(out), why);
    if (nulled)
        std::fprintf(stderr, "qctool: %s: note: %zu Double values that are NaN or infinite were written as null\n",
                     input_name(path).c_str(), nulled);
    return 0;
}

}  // namespace qctool

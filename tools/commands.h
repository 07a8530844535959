// The commands of qctool.  Each takes its operands (already counted by the
// caller) and answers the exit code: 0 done, 1 refused input or failed
// output.  Messages go to stderr, results to the output named.
#pragma once

#include <string>
#include <vector>

#include "container_file.h"
#include "json_reader.h"

namespace qctool {

// A command's operands, and the options it takes.
struct Operands : std::vector<std::string> {
    bool compact = false;  // export --compact
};

int demo(const Operands &args);
int dump(const Operands &args);
int check(const Operands &args);
int to_json(const Operands &args);
int from_json(const Operands &args);
int import_command(const Operands &args);
int export_command(const Operands &args);

// The container in the file at `path` ("-": standard input), loaded by the
// library (caller deletes), or NULL with `error`.  The commands that look at
// the record itself read the bytes afterwards (input_file in cli_io.h).
QuolanObject *load_file(const std::string &path, FileError *error);

// The bytes of the file at `path` ("-": the copy of standard input that
// load_file read); false after reporting.
bool read_file(const std::string &path, std::vector<unsigned char> *bytes);

// Saves `object` to `path` ("-": standard output) with the library; false
// with `error`, and no file left behind, when it cannot.
bool save_file(QuolanObject *object, const std::string &path, FileError *error);

// "qctool: NAME: at byte N, in RECORD PATH: MESSAGE (status S NAME)" on
// stderr; answers 1.
int report(const std::string &name, const FileError &e);
// "qctool: NAME: MESSAGE" on stderr (and so a FileError not `located`);
// answers 1.
int report(const std::string &name, const std::string &message);
// "qctool: NAME:LINE:COLUMN: at byte N: MESSAGE" on stderr; answers 1.
int report(const std::string &name, const JsonError &e);
// "qctool: MESSAGE" and a pointer to --help on stderr; answers 2.
int usage(const std::string &message);
// The usage error of a command asked to write a container file to a terminal.
int binary_to_terminal(const std::string &command);

// The container in the file at `path` ("-": standard input), as load_file
// answers it; NULL after reporting why not.
QuolanObject *load(const std::string &path);

}  // namespace qctool

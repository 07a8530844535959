// qctool: look inside container files, check them, turn them into JSON and
// back, and show the library at work.
//
// Command-line conventions: `--help`/`-h` and `help [COMMAND]` print to
// stdout and exit 0; `--version` likewise; options may stand anywhere
// before `--`; an unknown command or option, an option the command does
// not take, a wrong number of operands, or a container file bound for a
// terminal, is named on stderr with exit 2; `-` is standard input or
// output wherever a file is read or written; a refused input or a failed
// write (a full disk, a closed pipe) exits 1.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli_io.h"
#include "commands.h"

#ifndef QCTOOL_VERSION
#define QCTOOL_VERSION "unknown"
#endif

namespace {

using qctool::Operands;

struct Command {
    const char *name;
    size_t min_operands, max_operands;
    const char *operands;
    const char *summary;
    const char *details;
    int (*run)(const Operands &);  // NULL for help, which run() answers itself
    const char *options = "";      // the options it takes, as its synopsis shows them
};

const Command kCommands[] = {
    {"demo", 0, 1, "[FILE]", "build a sample document, save it to FILE, load it back and print it",
     "Builds a nested document (a dictionary of texts, numbers, arrays, a typed\n"
     "dictionary, a set and a value produced through a deferred dictionary),\n"
     "saves it to FILE (default demo.qcf), loads it back, checks that it saves\n"
     "to the same bytes and prints it.  With FILE '-' the file goes to standard\n"
     "output and the report to standard error.\n",
     qctool::demo},
    {"dump", 1, 1, "FILE", "print the container a file holds",
     "Loads FILE and prints its class and every entry, nested containers and\n"
     "set members included.\n",
     qctool::dump},
    {"check", 1, 1, "FILE", "check that a file holds exactly one valid container",
     "Loads FILE and refuses it unless it holds exactly one container that the\n"
     "library could have written: nothing after the record, no key repeated\n"
     "in a dictionary, no member repeated in a set.  Prints 'FILE: ok, one CLASS'.\n",
     qctool::check},
    {"to-json", 1, 2, "FILE [OUT]", "write the lossless JSON form of a file (default: stdout)",
     "Writes the lossless JSON form of FILE: every byte of the record, so that\n"
     "from-json rebuilds the identical file (docs/file-format.md).\n",
     qctool::to_json},
    {"from-json", 2, 2, "JSON OUT", "write the container file a lossless JSON form describes",
     "Reads a lossless JSON form and writes the container file it describes,\n"
     "if the library loads it and it repeats no key or member.\n",
     qctool::from_json},
    {"import", 1, 2, "IN.json [OUT]", "write any JSON text as a container file (default: stdout)",
     "Turns ordinary JSON into containers: objects become Dicts with text keys,\n"
     "arrays Arrays, integral numbers in int32 range Integers, other numbers\n"
     "(and -0) Doubles, true and false Booleans, null Null.  The top level must\n"
     "be an object or an array; a UTF-8 byte-order mark at the start is skipped.\n"
     "A refusal names the line, the column and the byte offset.  Standard\n"
     "output is refused when it is a terminal (docs/json.md).\n",
     qctool::import_command},
    {"export", 1, 2, "FILE [OUT.json]", "write a container file as ordinary JSON (default: stdout)",
     "Writes the container FILE holds as ordinary JSON: Dicts as objects,\n"
     "Arrays and sets as arrays, typed containers as their plain form,\n"
     "Doubles in the shortest form that reads back exactly (docs/json.md).\n"
     "Indented by 2 spaces; with --compact, without any white space.\n",
     qctool::export_command, "[--compact] "},
    {"help", 0, 1, "[COMMAND]", "list the commands, or describe COMMAND",
     "Lists the commands, or describes COMMAND: its operands and what it does.\n"
     "'qctool COMMAND --help' does the same.\n",
     nullptr},
};

const Command *find(const std::string &name)
{
    for (const Command &c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

void print_usage(FILE *out)
{
    std::fprintf(out, "usage: qctool COMMAND [OPTIONS] [OPERANDS]\n"
                      "       qctool --help | --version\n\ncommands:\n");
    for (const Command &c : kCommands) {
        std::string synopsis = std::string(c.name) + " " + c.options + c.operands;
        std::fprintf(out, "  %-35s %s\n", synopsis.c_str(), c.summary);
    }
    std::fprintf(out, "\nFILE, OUT and JSON may be '-' for standard input or output.\n"
                      "Exit status: 0 done, 1 refused input or failed output, 2 usage error.\n");
}

void print_help(const Command &c)
{
    std::printf("usage: qctool %s %s%s\n\n%s", c.name, c.options, c.operands, c.details);
}

int run(int argc, char **argv)
{
    bool help = false, version = false, options_done = false;
    Operands words;
    std::string command_option;  // the first option only some commands take
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (options_done || arg == "-" || arg.empty() || arg[0] != '-') {
            words.push_back(arg);
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "-h" || arg == "--help") {
            help = true;
        } else if (arg == "--version") {
            version = true;
        } else if (arg == "--compact") {
            words.compact = true;
            command_option = arg;
        } else {
            return qctool::usage("unknown option '" + arg + "'");
        }
    }
    if (version) {
        std::printf("qctool %s (container file format 1)\n", QCTOOL_VERSION);
        return 0;
    }
    if (!words.empty() && words[0] == "help") {
        help = true;
        words.erase(words.begin());
    }
    if (help) {
        if (words.empty()) {
            print_usage(stdout);
            return 0;
        }
        const Command *c = find(words[0]);
        if (!c) return qctool::usage("no help for unknown command '" + words[0] + "'");
        print_help(*c);
        return 0;
    }
    if (words.empty()) {
        print_usage(stderr);
        return 2;
    }
    const Command *c = find(words[0]);
    if (!c) return qctool::usage("unknown command '" + words[0] + "'");
    if (!command_option.empty() && std::strstr(c->options, command_option.c_str()) == nullptr)
        return qctool::usage(std::string(c->name) + ": unknown option '" + command_option + "'");
    Operands operands = words;
    operands.erase(operands.begin());
    if (operands.size() < c->min_operands || operands.size() > c->max_operands)
        return qctool::usage(std::string(c->name) + ": expected " + c->operands + ", got " +
                             std::to_string(operands.size()) + " operand" + (operands.size() == 1 ? "" : "s"));
    if (!qctool::create_all_classes()) {
        std::fprintf(stderr, "qctool: the container classes cannot be created\n");
        return 1;
    }
    return c->run(operands);
}

}  // namespace

int main(int argc, char **argv)
{
    // A closed pipe then fails the write, which is reported, instead of
    // ending the process silently.
    std::signal(SIGPIPE, SIG_IGN);
    int code = run(argc, argv);
    std::string why;
    if (!qctool::close_stdout(&why)) {
        std::fprintf(stderr, "qctool: standard output: cannot write: %s\n", why.c_str());
        if (code == 0) code = 1;
    }
    return code;
}

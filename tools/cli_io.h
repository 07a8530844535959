// Where qctool reads and writes: a path, or "-" for standard input or
// standard output.  Every failed read, write, flush or close is reported;
// nothing is taken as written until the stream has been closed or flushed.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace qctool {

// How a path is named in messages: "standard input" / "standard output" for "-".
std::string input_name(const std::string &path);
std::string output_name(const std::string &path);

// The open input (standard input for "-"), or NULL with `why` set.
FILE *open_input(const std::string &path, std::string *why);
void close_input(FILE *in);

// The whole input; false with `why` set on failure.
bool read_input(const std::string &path, std::vector<unsigned char> *out, std::string *why);

// An output being written: a file, created or truncated, or standard output
// for "-".  A file left incomplete (a failed write, or no close) is removed.
class Output {
public:
    Output() = default;
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;
    ~Output();

    bool open(const std::string &path, std::string *why);
    // False once any write failed; the first failure is what close reports.
    bool write(const void *data, size_t size);
    bool failed() const { return errno_ != 0; }
    // Flushes, and closes a file; false with `why` when anything written was
    // lost, and the file is then removed.
    bool close(std::string *why);

private:
    std::string path_;
    FILE *file_ = nullptr;
    int errno_ = 0;
};

// Writes `bytes` to the path or to standard output, as Output does.
bool write_output(const std::string &path, const void *data, size_t size, std::string *why);
bool write_output(const std::string &path, const std::string &bytes, std::string *why);
bool write_output(const std::string &path, const std::vector<unsigned char> &bytes, std::string *why);

// Copies the input at `from` to the output at `to` ("-" for standard input
// or output) a piece at a time; false with `why`, and a file `to` removed,
// when anything fails.
bool copy_file(const std::string &from, const std::string &to, std::string *why);

// True when `path` is standard output and that is a terminal: no place for
// the bytes of a container file.
bool is_terminal(const std::string &path);

// A name the library can open for `path`: the path itself, or for "-" a
// copy of standard input, made on the first call (standard input reads only
// once) and removed when the tool ends.  Empty, with `why`, when the copy
// cannot be made.
std::string input_file(const std::string &path, std::string *why);

// An empty file of the tool's own in the temporary directory ($TMPDIR, else
// /tmp), made by create() and removed with this object.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;
    ~TemporaryFile();
    bool create(std::string *why);
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

// Flushes and closes standard output; false with `why` when anything written
// to it was lost (a full disk, a closed pipe).
bool close_stdout(std::string *why);

}  // namespace qctool

// Where qctool reads and writes: a path, or "-" for standard input or
// standard output.  Every failed read, write, flush or close is reported;
// nothing is taken as written until the stream has been closed or flushed.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qctool {

// How a path is named in messages: "standard input" / "standard output" for "-".
std::string input_name(const std::string &path);
std::string output_name(const std::string &path);

// The whole input; false with `why` set on failure.
bool read_input(const std::string &path, std::vector<unsigned char> *out, std::string *why);

// Writes `bytes` to the path (created or truncated) or to standard output.
// A file left incomplete by a failed write is removed.
bool write_output(const std::string &path, const std::string &bytes, std::string *why);
bool write_output(const std::string &path, const std::vector<unsigned char> &bytes, std::string *why);

// Copies the file at `from` to standard output, a piece at a time.
bool copy_to_stdout(const std::string &from, std::string *why);

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

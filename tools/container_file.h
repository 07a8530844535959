// Container files for qctool.  The library reads and writes them
// (quolan_file_load, quolan_file_save in quolan/containers.h; the commands
// call them through load_file and save_file in commands.h).  The library
// answers a status only, so after a refusal the tool loads the file's bytes
// from memory itself (unframe) to find the byte offset where the load
// stopped, and the record walker names the entry there.  The JSON form
// (json_form.h) writes and reads the same frame byte by byte:
//
//   bytes 0-7   magic "QUOLANCF"
//   bytes 8-11  format version, int32 little-endian (1)
//   then        the class identity (int32 length L, L bytes of class name)
//   then        the container's own record, as its Save writes it
//
// Nothing may follow the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "quolan/containers.h"

namespace qctool {

constexpr char kMagic[8] = {'Q', 'U', 'O', 'L', 'A', 'N', 'C', 'F'};
constexpr int32_t kFormatVersion = 1;

// Makes every class of the library, so that files of any class load.
bool create_all_classes();

// What went wrong, for a message: status, byte offset (when `located`), the
// record path of the entry there (record_walk.h; empty in the frame),
// explanation.
struct FileError {
    int32_t status = 0;
    size_t offset = 0;
    std::string message;
    std::string record_path;
    bool located = true;  // false for a file that could not be read or written at all

    FileError() = default;
    FileError(int32_t s, size_t at, std::string why, std::string path = {})
        : status(s), offset(at), message(std::move(why)), record_path(std::move(path))
    {
    }
};

// Owns one object of the library and deletes it.
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

// The container framed bytes in memory hold (caller deletes), or NULL with
// `error`, its byte offset and record path included: for bytes the tool
// made itself, and to explain why the library refused a file.
QuolanObject *unframe(const std::vector<unsigned char> &bytes, FileError *error);

std::string class_name(QuolanObject *object);

}  // namespace qctool

// Container files: one saved container with a frame around it, so that a
// wrong file is recognised before any of it is loaded.
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

// What went wrong, for a message: status, byte offset, the record path of
// the entry there (record_walk.h; empty in the frame), explanation.
struct FileError {
    int32_t status = 0;
    size_t offset = 0;
    std::string message;
    std::string record_path;

    FileError() = default;
    FileError(int32_t s, size_t at, std::string why, std::string path = {})
        : status(s), offset(at), message(std::move(why)), record_path(std::move(path))
    {
    }
};

// The framed bytes of `object`; false with `error` set on failure.
bool frame(QuolanObject *object, std::vector<unsigned char> *out, FileError *error);
// The same, written to `stream`.
bool frame_to(QuolanObject *object, QuolanObject *stream, FileError *error);

// The container a framed record holds (caller deletes), or NULL with
// `error`, its record path included.
QuolanObject *unframe(const std::vector<unsigned char> &bytes, FileError *error);
// The same, read from `stream`, which holds `size` bytes; no record path.
QuolanObject *unframe_from(QuolanObject *stream, size_t size, FileError *error);

const char *status_name(int32_t status);
std::string class_name(QuolanObject *object);

}  // namespace qctool

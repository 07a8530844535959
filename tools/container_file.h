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
#include <vector>

#include "quolan/containers.h"

namespace qctool {

constexpr char kMagic[8] = {'Q', 'U', 'O', 'L', 'A', 'N', 'C', 'F'};
constexpr int32_t kFormatVersion = 1;

// Makes every class of the library, so that files of any class load.
bool create_all_classes();

// What went wrong, for a message: status, byte offset, explanation.
struct FileError {
    int32_t status = 0;
    size_t offset = 0;
    std::string message;
};

// The framed bytes of `object`; false with `error` set on failure.
bool frame(QuolanObject *object, std::vector<unsigned char> *out, FileError *error);

// The container a framed record holds (caller deletes), or NULL with `error`.
QuolanObject *unframe(const std::vector<unsigned char> &bytes, FileError *error);

bool read_file(const std::string &path, std::vector<unsigned char> *out, std::string *why);
bool write_file(const std::string &path, const std::vector<unsigned char> &bytes, std::string *why);

const char *status_name(int32_t status);
std::string class_name(QuolanObject *object);

}  // namespace qctool

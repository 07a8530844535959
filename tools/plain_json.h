// Plain JSON in and out: any JSON text as containers, any container file
// as ordinary JSON.  The mapping is in docs/json.md.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "quolan/containers.h"

namespace qctool {

// Why a JSON text was refused, and the byte offset (from 0) where.
struct ImportError {
    size_t offset = 0;
    std::string message;
};

// The container a JSON text describes (the caller deletes it), or NULL with
// `error`.  Never recurses with the input's depth: nesting past the
// library's limit is refused as it is met.
QuolanObject *import_json(const std::vector<unsigned char> &text, ImportError *error);

// Ordinary JSON, 2-space indented, for a file the library loads.  Counts
// the Doubles written as null (NaN and the infinities) in `nulled`.
std::string export_json(const std::vector<unsigned char> &file, size_t *nulled);

}  // namespace qctool

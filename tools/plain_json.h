// Plain JSON in and out: any JSON text as containers, any container file
// as ordinary JSON.  The mapping is in docs/json.md.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "cli_io.h"
#include "json_reader.h"
#include "quolan/containers.h"

namespace qctool {

// The container the JSON text read from `text` describes (the caller
// deletes it), or NULL with `error`.  Nesting past the library's limit is
// refused as it is met.
QuolanObject *import_json(FILE *text, JsonError *error);

// Writes the container file read from `file` to `out` as JSON: 2-space
// indented, or with `compact` without any white space.  REQUIRES: the
// library loaded the file.  False when `out` fails (its close says why),
// or with `why` when the file no longer reads as it did.  Counts the Doubles written as null (NaN and
// the infinities) in `nulled`.
bool export_json(FILE *file, Output &out, bool compact, size_t *nulled, std::string *why);

}  // namespace qctool

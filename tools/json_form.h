// The JSON form of a container file: every byte of the file, readable.
//
// The form is built from the record bytes, never from loaded objects, so it
// holds exactly what the file holds: every position in order (free ones as
// null), each entry's tag and payload, type lists, lock byte and access mode,
// a dictionary's key record and value record apart.  Turning the form back
// into bytes rebuilds the file byte for byte; file_to_json checks that on
// every call, so a file whose form would not rebuild it is never printed.
//
// The form does not check what the library would make of the bytes; callers
// load the file with unframe (container_file.h) before file_to_json and after
// json_to_file.  The layout is documented in docs/file-format.md.
#pragma once

#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "json_reader.h"

namespace qctool {

// Key order matters to readers ("class" first), so objects keep the order
// in which their members were added.
using Json = nlohmann::ordered_json;

// A JSON form that describes no file; what() starts with the JSON path of the
// offending value, e.g. "$.values[3].Double: ...".
struct JsonFormError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads a JSON text into `form`; false with `error` when it is not JSON.
bool read_form(FILE *in, Json *form, JsonError *error);

// The JSON form of a framed container file.  REQUIRES: the bytes loaded with
// unframe.  Throws std::logic_error if they do not follow the record layout,
// which would mean the form and the library disagree.
Json file_to_json(const std::vector<unsigned char> &file);

// The framed container file a JSON form describes.  Throws JsonFormError.
std::vector<unsigned char> json_to_file(const Json &form);

// The JSON path of the innermost entry of `form` whose bytes in
// json_to_file(form) reach byte `offset` - 1: where a load that stopped at
// `offset` was reading.  "$" when no entry does.
std::string json_path_at(const Json &form, size_t offset);

// True for the classes that exist but have no saved form.
bool has_no_saved_form(std::string_view class_name);

}  // namespace qctool

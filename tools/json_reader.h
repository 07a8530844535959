// Reads JSON text (RFC 8259) from a stream a buffer at a time and reports
// what it finds as events, so that no input is held whole and none, however
// deep, is recursed over.  Every refusal is in our own words, with the byte
// offset and the line and column where reading stood.
//
// A UTF-8 byte-order mark at the very start is skipped (RFC 8259 lets a
// reader ignore it); offsets still count its three bytes.  Anything else
// that is not JSON is refused: invalid UTF-8, escapes of lone surrogates,
// raw control characters in strings, comments, NaN, trailing commas, a
// second value after the first.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace qctool {

struct JsonError {
    bool located = true;  // false for a failed read, which has no place in the text
    size_t offset = 0;    // bytes from the start of the text
    size_t line = 1;      // from 1
    size_t column = 1;    // from 1, in bytes
    std::string message;
};

// What the reader found, in text order.  A call answers false to stop the
// reading, with `refusal` saying why; the refusal is placed at the token
// the call is about.  Texts are valid UTF-8 of `length` bytes with a NUL
// after them, valid during the call; `holds_nul` when a \u0000 escape put
// one before that.
class JsonEvents {
public:
    virtual ~JsonEvents() = default;
    virtual bool begin_object() = 0;
    virtual bool key(const char *text, size_t length, bool holds_nul) = 0;
    virtual bool end_object() = 0;
    virtual bool begin_array() = 0;
    virtual bool end_array() = 0;
    virtual bool string(const char *text, size_t length, bool holds_nul) = 0;
    // The number as written; `integral` when it has no fraction and no exponent.
    virtual bool number(const char *text, size_t length, bool integral) = 0;
    virtual bool boolean(bool value) = 0;
    virtual bool null() = 0;
    // Once the whole text is known to be JSON; a refusal here is placed at
    // the start of the top-level value.
    virtual bool end() { return true; }

    std::string refusal;
};

// Reads one JSON text from `in` to its end; false with `error` set when it
// is not JSON, cannot be read, or an event refused it.
bool read_json(FILE *in, JsonEvents &events, JsonError *error);

// The double nearest to a JSON number's text (NUL-terminated); false when
// it lies beyond the range of a double.  One too small to tell from 0 is 0.
bool json_number_to_double(const char *text, size_t length, double *out);

}  // namespace qctool

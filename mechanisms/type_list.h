// Type lists: the texts that say what a typed position admits.
//
// A type list is a NUL-terminated text of type tokens separated by commas.
// A run of commas separates like one, leading commas are skipped, a trailing
// comma leaves one empty token, nothing is trimmed and case counts.  A token
// admits a value when it begins with the value's keyword ("Null", "Integer",
// "Double", "String", "Pointer", "Boolean", or "Object-" followed by a class
// name the object's IsA answers to); borrowed and owned kinds share one
// keyword.  "Double" also admits an Integer, which the typed containers then
// store converted (StatusNeedsDouble).
//
// Nothing here allocates: a type name and the token under test each live in a
// fixed 64-byte buffer on the caller's stack, and a token too long for its
// buffer is never copied (it counts as a mismatch).  Nothing keeps state; the
// only calls out are an object's IsA and the assertion service.
//
// May touch: nothing but an object's IsA and the assertion service.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qc {

constexpr size_t kTypeNameSize = 64;  // type names and tokens: 63 characters and a NUL

// How an object value is named when a position is bound to it.
enum class TypeNameForm {
    ExactClass,  // "Object-" and the object's own class name (ArrayTyped)
    Family,      // "Object-Array", "Object-Dict" or "Object-QUOLAN" (DictTyped)
};

// Writes the one-token type list that names (value, tag), or "" when there is
// no such name (a NULL reference with a non-Null tag, an unknown tag).  The
// exact form reports an unknown tag, and an object that will not name its
// class, to the assertion service.
void element_type_name(const void *value, int32_t tag, TypeNameForm form,
                       char (&name)[kTypeNameSize]);

// 0 when `token` (NUL-terminated, at most 63 characters) admits the value as
// it is, StatusNeedsDouble when it admits an Integer only as a Double,
// StatusBadType otherwise.
int32_t type_token_matches(int32_t tag, const void *value, const char *token);

// The verdict of the whole list: the first token that admits the value as it
// is wins (0); else StatusNeedsDouble if any token asked for a conversion;
// else StatusBadType.  A NULL list admits nothing.
int32_t type_list_accepts(const char *types, int32_t tag, const void *value);

}  // namespace qc

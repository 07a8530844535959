// Type-list matching and type naming for the typed containers.
//
// Keywords are compared over their own length only, so a token that merely
// begins with a keyword matches it ("Integers" admits an Integer).  Object
// tokens hand the rest of the token to the object's IsA, which is why
// "Object-Array" admits every Array subclass and a bare "Object-" admits every
// object (IsA with an empty name writes the class name and answers 1).
//
// IsA always gets a 128-byte scratch buffer of ours, never the caller's
// buffer: with an empty name it writes a whole class name, and a class from
// outside this library may have a longer name than the 56 characters that fit
// after "Object-" in a type name (class identities in a stream are at most
// 127 bytes, so 128 covers every class that can be named there).
#include "mechanisms/type_list.h"

#include <cstring>

#include "array/element.h"
#include "framework/class_registry.h"

namespace qc {

namespace {

constexpr char kObjectPrefix[] = "Object-";
constexpr size_t kObjectPrefixLength = sizeof kObjectPrefix - 1;
constexpr size_t kScratchSize = 128;

// The keyword of a non-object tag, or NULL for objects and unknown tags.
const char *keyword_of(int32_t tag)
{
    switch (tag) {
    case Null: return "Null";
    case Integer: return "Integer";
    case Double: return "Double";
    case String:
    case OwnedString: return "String";
    case Pointer:
    case OwnedPointer: return "Pointer";
    case Boolean: return "Boolean";
    default: return nullptr;
    }
}

bool begins_with(const char *text, const char *keyword)
{
    return std::strncmp(text, keyword, std::strlen(keyword)) == 0;
}

QuolanObject *as_object(const void *value) { return static_cast<QuolanObject *>(const_cast<void *>(value)); }

// Copies at most room - 1 characters of `text` and terminates them.
void copy_cut(char *target, size_t room, const char *text)
{
    size_t length = strnlen(text, room - 1);
    std::memcpy(target, text, length);
    target[length] = '\0';
}

template <size_t N>
void copy_name(char (&name)[N], const char *text)
{
    copy_cut(name, N, text);
}

// "Object-" and the class name, cut to what the buffer holds; an object that
// will not name its class is reported and named after the root.
void exact_object_name(const void *value, char (&name)[kTypeNameSize])
{
    char scratch[kScratchSize];
    scratch[0] = '\0';
    if (!base_of(as_object(value))->IsA(as_object(value), scratch)) {
        ZV_CantHappenForExport(0);
        copy_name(name, "Object-QUOLAN");
        return;
    }
    scratch[kScratchSize - 1] = '\0';
    std::memcpy(name, kObjectPrefix, kObjectPrefixLength);
    copy_cut(name + kObjectPrefixLength, kTypeNameSize - kObjectPrefixLength, scratch);
}

void family_object_name(const void *value, char (&name)[kTypeNameSize])
{
    if (is_a(as_object(value), "Array"))
        copy_name(name, "Object-Array");
    else if (is_a(as_object(value), "Dict"))
        copy_name(name, "Object-Dict");
    else
        copy_name(name, "Object-QUOLAN");
}

}  // namespace

void element_type_name(const void *value, int32_t tag, TypeNameForm form,
                       char (&name)[kTypeNameSize])
{
    name[0] = '\0';
    if (!value && tag != Null) return;  // nothing to name: the empty list admits nothing
    if (family(tag) == Object) {
        if (form == TypeNameForm::ExactClass)
            exact_object_name(value, name);
        else
            family_object_name(value, name);
        return;
    }
    const char *keyword = keyword_of(tag);
    if (keyword)
        copy_name(name, keyword);
    else if (form == TypeNameForm::ExactClass)
        ZV_CantHappenForExport(0);
}

int32_t type_token_matches(int32_t tag, const void *value, const char *token)
{
    if (!value && tag != Null) return StatusBadType;
    if (!is_known_tag(tag)) return StatusBadType;
    if (family(tag) == Object) {
        if (!begins_with(token, kObjectPrefix)) return StatusBadType;
        char scratch[kScratchSize];
        copy_name(scratch, token + kObjectPrefixLength);
        return base_of(as_object(value))->IsA(as_object(value), scratch) ? StatusOk : StatusBadType;
    }
    if (begins_with(token, keyword_of(tag))) return StatusOk;
    if (tag == Integer && begins_with(token, "Double")) return StatusNeedsDouble;
    return StatusBadType;
}

int32_t type_list_accepts(const char *types, int32_t tag, const void *value)
{
    if (!types) return StatusBadType;
    bool needs_double = false;
    char token[kTypeNameSize];
    const char *p = types;
    for (;;) {
        while (*p == ',') ++p;
        const char *end = std::strchr(p, ',');
        if (!end) end = p + std::strlen(p);
        size_t length = static_cast<size_t>(end - p);
        // A token too long for its buffer is never copied: it admits nothing.
        if (length < kTypeNameSize) {
            std::memcpy(token, p, length);
            token[length] = '\0';
            int32_t verdict = type_token_matches(tag, value, token);
            if (verdict == StatusOk) return StatusOk;
            if (verdict == StatusNeedsDouble) needs_double = true;
        }
        if (*end == '\0') break;
        p = end + 1;
    }
    return needs_double ? StatusNeedsDouble : StatusBadType;
}

}  // namespace qc

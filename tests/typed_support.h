// Helpers for the typed-container suites: makers, the pinned typed fields,
// reading a position's type list, saving and loading through memory streams,
// and small test classes whose IsA misbehaves in chosen ways.
#pragma once

#include <string>
#include <vector>

#include "support.h"

namespace qt {

inline Obj new_typed_array() { return make(array_typedclass_init()); }
inline Obj new_typed_dict() { return make(dict_typedclass_init()); }

inline const ArrayTypedMethods *TA(QuolanObject *o) { return quolan_array_typed_methods(o); }
inline const DictTypedMethods *TD(QuolanObject *o) { return quolan_dict_typed_methods(o); }

// The three fields both typed classes append to their parent's layout:
// at 64 in an ArrayTyped, at 72 in a DictTyped.
struct TypedFields {
    QuolanObject *type_store;
    int32_t lock;
    int32_t access;
};
inline TypedFields &typed_fields(QuolanObject *o)
{
    char name[16] = "";
    B(o)->IsA(o, name);
    size_t offset = std::string(name) == "DictTyped" ? 72 : 64;
    return *reinterpret_cast<TypedFields *>(reinterpret_cast<char *>(o) + offset);
}

// The type list recorded for a position; "-" for an untyped one.
inline std::string type_at(QuolanObject *o, int32_t position)
{
    QuolanObject *store = typed_fields(o).type_store;
    void *value = nullptr;
    int32_t tag = Null;
    if (!store || A(store)->GetAt(store, &value, &tag, position) != 0 || tag == Null) return "-";
    if (tag != OwnedString) return "?";
    return static_cast<const char *>(value);
}
inline int32_t type_count(QuolanObject *o) { return used_count(typed_fields(o).type_store); }

inline std::vector<unsigned char> saved(QuolanObject *o, int32_t *status = nullptr)
{
    Obj s(quolan_memory_stream_new());
    int32_t r = B(o)->Save(o, s.get(), 0);
    if (status) *status = r;
    else EXPECT_EQ(r, 0);
    return bytes_of(s.get());
}
inline int32_t load(QuolanObject *o, const std::vector<unsigned char> &bytes)
{
    Obj s = stream_from(bytes);
    return B(o)->Load(o, s.get(), 0);
}

// Checks a value of `tag` against `types` at a fresh position of a fresh
// typed array: exactly what the type list answers.
inline int32_t verdict(const char *types, int32_t tag, const void *value)
{
    Obj a = new_typed_array();
    EXPECT_EQ(TA(a.get())->SetSlotType(a.get(), types, 0), 0);
    return TA(a.get())->CheckSlotType(a.get(), const_cast<void *>(value), tag, 0);
}

// A class of the tests' own, derived from the root, whose IsA is `is_a`.
inline QuolanObject *class_with_is_a(int32_t (*is_a)(QuolanObject *, char *))
{
    quolan_class_init();
    QuolanObject *k = quolan_generic_subclass(quolan_class, sizeof(QuolanObject),
                                              QuolanSlot_Count * sizeof(QuolanMethod));
    reinterpret_cast<QuolanBaseMethods *>(k->methods)->IsA = is_a;
    return k;
}

}  // namespace qt

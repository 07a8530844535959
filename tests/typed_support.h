// Helpers for the typed-container suites: makers, the pinned typed fields,
// a position's recorded type list, and records through memory streams.
#pragma once

#include <string>
#include <vector>

#include "support.h"

namespace qt {

inline Obj new_typed_array() { return make(array_typedclass_init()); }
inline Obj new_typed_dict() { return make(dict_typedclass_init()); }
inline const ArrayTypedMethods *TA(QuolanObject *o) { return quolan_array_typed_methods(o); }
inline const DictTypedMethods *TD(QuolanObject *o) { return quolan_dict_typed_methods(o); }

// The fields both typed classes append: at 64 in ArrayTyped, 72 in DictTyped.
struct TypedFields {
    QuolanObject *type_store;
    int32_t lock;
    int32_t access;
};
inline TypedFields &typed_fields(QuolanObject *o)
{
    size_t offset = o->methods == dict_typedclass_init()->methods ? 72 : 64;
    return *reinterpret_cast<TypedFields *>(reinterpret_cast<char *>(o) + offset);
}

// The type list recorded for a position; "-" when it is untyped.
inline std::string type_at(QuolanObject *o, int32_t position)
{
    QuolanObject *store = typed_fields(o).type_store;
    Read r{-1, Null, nullptr};
    if (store) r = get(store, position);
    return r.status != 0 || r.tag == Null ? "-" : r.text();
}

inline std::vector<unsigned char> saved(QuolanObject *o, int32_t expected_status = 0)
{
    Obj s(quolan_memory_stream_new());
    EXPECT_EQ(B(o)->Save(o, s.get(), 0), expected_status);
    return bytes_of(s.get());
}
inline int32_t load(QuolanObject *o, const std::vector<unsigned char> &bytes)
{
    Obj s = stream_from(bytes);
    return B(o)->Load(o, s.get(), 0);
}

}  // namespace qt

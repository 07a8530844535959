// Helpers for the typed-container suites: makers, the pinned typed fields and
// a position's recorded type list.
#pragma once

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

}  // namespace qt

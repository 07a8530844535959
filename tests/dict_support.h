// Helpers for the Dict and GenSet suites.
#pragma once

#include "support.h"

namespace qt {

inline Obj new_dict() { return make(dict_baseclass_init()); }
inline Obj new_set() { return make(genset_baseclass_init()); }
inline const GenSetMethods *G(QuolanObject *o) { return quolan_genset_methods(o); }
inline void *K(const char *text) { return const_cast<char *>(text); }

// The private store of a Dict (pinned at offset 64) or a GenSet (24).
inline QuolanObject *store_of(QuolanObject *o)
{
    size_t offset = o->size == 32 ? 24 : 64;
    return *reinterpret_cast<QuolanObject **>(reinterpret_cast<char *>(o) + offset);
}

// A client subclass of `parent` with the parent's instance size.
inline QuolanObject *subclass_of(QuolanObject *parent, int32_t slots)
{
    return quolan_generic_subclass(parent, parent->size, slots * sizeof(QuolanMethod));
}

inline std::vector<unsigned char> saved(QuolanObject *o, int32_t *status = nullptr)
{
    Obj s(quolan_memory_stream_new());
    int32_t r = B(o)->Save(o, s.get(), 0);
    if (status) *status = r;
    return bytes_of(s.get());
}
inline int32_t load(QuolanObject *o, const std::vector<unsigned char> &bytes, int32_t mode = 0)
{
    return B(o)->Load(o, stream_from(bytes).get(), mode);
}

// The Integer values a walk delivers (-1 for other kinds) until it ends.
inline std::vector<int32_t> walk(QuolanObject *o, bool forward)
{
    std::vector<int32_t> values;
    void *v = nullptr;
    int32_t tag = 0;
    while ((forward ? A(o)->Next : A(o)->Previous)(o, &v, &tag) == 0)
        values.push_back(tag == Integer ? *static_cast<int32_t *>(v) : -1);
    return values;
}

}  // namespace qt

// What the keyed load targets share: a container that loaded is saved, and
// its record must load into a fresh object of the same class and save back
// to the very same bytes.
#pragma once

#include <cstddef>
#include <cstring>

#include "quolan/containers.h"
#include "quolan/stream.h"

namespace fuzz {

inline void drop(QuolanObject *o)
{
    if (o) quolan_base_methods(o)->Delete(o);
}

inline bool same_bytes(QuolanObject *a, QuolanObject *b)
{
    size_t na = 0, nb = 0;
    const unsigned char *pa = quolan_memory_stream_data(a, &na);
    const unsigned char *pb = quolan_memory_stream_data(b, &nb);
    return na == nb && (na == 0 || std::memcmp(pa, pb, na) == 0);
}

// Call before anything reads `loaded`: a read may extend an inner store with
// a Null position, which a reload rightly does not bring back.
inline void check_reload_saves_same(QuolanObject *cls, QuolanObject *loaded)
{
    QuolanObject *out = quolan_memory_stream_new();
    if (quolan_base_methods(loaded)->Save(loaded, out, 0) != 0) __builtin_trap();
    size_t n = 0;
    const unsigned char *bytes = quolan_memory_stream_data(out, &n);
    QuolanObject *again = quolan_memory_stream_from(bytes, n);
    QuolanObject *fresh = quolan_base_methods(cls)->New(cls);
    QuolanObject *out2 = quolan_memory_stream_new();
    if (quolan_base_methods(fresh)->Load(fresh, again, 0) != 0) __builtin_trap();
    if (quolan_base_methods(fresh)->Save(fresh, out2, 0) != 0) __builtin_trap();
    if (!same_bytes(out, out2)) __builtin_trap();
    drop(out2);
    drop(fresh);
    drop(again);
    drop(out);
}

}  // namespace fuzz

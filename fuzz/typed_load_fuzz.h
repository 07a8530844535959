// The body both typed-container fuzz targets share.  Whatever the bytes,
// Load must answer a status without reading past a buffer, leaking or
// crashing.  What did load must save, and when that record loads into a
// fresh object of the class, the fresh object must save the very same bytes
// (its type lists start from every binding the first load made).  The
// reload itself may be refused: a hostile record can hold one key twice in
// a typed dictionary, and binding the second position through that key
// retypes the first one after its value was admitted, so the saved lists no
// longer admit the saved values.  Then the loaded object takes a few typed
// puts, a clear and a copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "quolan/containers.h"
#include "quolan/stream.h"

namespace typed_fuzz {

inline void drop(QuolanObject *o)
{
    if (o) quolan_base_methods(o)->Delete(o);
}

inline QuolanObject *make(QuolanObject *cls) { return quolan_base_methods(cls)->New(cls); }

inline bool same_bytes(QuolanObject *a, QuolanObject *b)
{
    size_t na = 0, nb = 0;
    const unsigned char *pa = quolan_memory_stream_data(a, &na);
    const unsigned char *pb = quolan_memory_stream_data(b, &nb);
    return na == nb && (na == 0 || std::memcmp(pa, pb, na) == 0);
}

// Saves `loaded`, reloads the record into a fresh object and saves that.
inline void check_round_trip(QuolanObject *cls, QuolanObject *loaded)
{
    QuolanObject *out = quolan_memory_stream_new();
    if (quolan_base_methods(loaded)->Save(loaded, out, 0) != 0) __builtin_trap();
    size_t n = 0;
    const unsigned char *bytes = quolan_memory_stream_data(out, &n);
    QuolanObject *again = quolan_memory_stream_from(bytes, n);
    QuolanObject *fresh = make(cls);
    QuolanObject *out2 = quolan_memory_stream_new();
    // A hostile record may repeat a key of a typed dictionary: a binding made
    // through the second copy retypes the first position after its value was
    // admitted, so a reload may convert or refuse what the first load kept.
    // What loads must still save; identical bytes are not owed.
    if (quolan_base_methods(fresh)->Load(fresh, again, 0) == 0) {
        if (quolan_base_methods(fresh)->Save(fresh, out2, 0) != 0) __builtin_trap();
    }
    drop(out2);
    drop(fresh);
    drop(again);
    drop(out);
}

// Puts of every kind through the typed check; refusals are fine, crashes
// and leaks are not.
inline void exercise(QuolanObject *o)
{
    const ArrayMethods *m = quolan_array_methods(o);
    m->PutIntAt(o, 1, 0);
    m->PutDoubleAt(o, 2.5, 1);
    m->PutStringCopyAt(o, "text", -2);
    m->PutAt(o, nullptr, Null, 0);
    m->ClearAt(o, 1);
}

inline int run(QuolanObject *cls, const uint8_t *data, size_t size)
{
    // Every class a record may nest must exist before it is loaded.
    array_typedclass_init();
    dict_typedclass_init();
    genset_baseclass_init();
    QuolanObject *in = quolan_memory_stream_from(data, size);
    QuolanObject *o = make(cls);
    if (quolan_base_methods(o)->Load(o, in, 0) == 0) {
        check_round_trip(cls, o);
        drop(quolan_base_methods(o)->Copy(cls, o));
        exercise(o);
    }
    drop(o);
    drop(in);
    return 0;
}

}  // namespace typed_fuzz

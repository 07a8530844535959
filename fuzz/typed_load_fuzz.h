// The body both typed-container fuzz targets share.  Whatever the bytes,
// Load must answer a status without reading past a buffer, leaking or
// crashing.  What did load must save, and what that record reloads into
// must save too (a hostile record can hold one key twice in a typed
// dictionary, so a reload may convert or refuse what the first load kept;
// identical bytes are not owed).  Then the loaded object takes a few typed
// puts, a clear and a copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "quolan/containers.h"
#include "quolan/stream.h"
#include "round_trip.h"

namespace typed_fuzz {

using fuzz::drop;

inline QuolanObject *make(QuolanObject *cls) { return quolan_base_methods(cls)->New(cls); }

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

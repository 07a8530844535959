// Typed access to method tables.
//
// Every call that must reach an override goes through the object's own table
// (`array_of(obj)->PutAt(obj, ...)`); every call to a parent's behaviour goes
// through the parent class's table (`array_of(array_baseclass)->PutAt(obj, ...)`).
// Both read the table through the typed structs of the public header, whose
// member offsets are checked against the slot numbers at compile time.
//
// May touch: nothing; it only gives typed views of method tables.
#pragma once

#include "quolan/containers.h"
#include "quolan/stream.h"

namespace qc {

template <class Table>
inline Table *writable_table(QuolanObject *cls)
{
    return reinterpret_cast<Table *>(cls->methods);
}

inline const QuolanBaseMethods *base_of(const QuolanObject *o) { return quolan_base_methods(o); }
inline const ArrayMethods *array_of(const QuolanObject *o) { return quolan_array_methods(o); }
inline const DictMethods *dict_of(const QuolanObject *o) { return quolan_dict_methods(o); }
inline const StreamMethods *stream_of(const QuolanObject *o) { return quolan_stream_methods(o); }

}  // namespace qc

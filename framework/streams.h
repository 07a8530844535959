// What the library may assume of a stream, decided once per stream class.
//
// A stream is reached through its own table, one call per field: int32
// fields through WriteInt32/ReadInt32 in whatever byte order the stream
// keeps, single bytes through WriteByte/ReadByte, runs through
// WriteBytes/ReadBytes.  That is the only way a host's stream, or a class
// derived from the stand-in's, is ever used.
//
// The stand-in stream library keeps a record for its own stream class: that
// its int32 and byte slots move little-endian bytes through the same channel
// as its byte-run slots.  For such a stream (and only such) Save may gather
// whole entries into one WriteBytes call and Load may read two fields with
// one ReadBytes call: the bytes, their order and what a short transfer
// consumes are those of the field-by-field calls.  The record is asked for
// through a weak reference, so a host stream library that offers no records
// simply gets the field-by-field calls.
//
// May touch: nothing; it asks the stream library.
#pragma once

#include "quolan/stream.h"

extern "C" __attribute__((weak)) const QuolanStreamRecord *quolan_stream_record(const QuolanObject *stream);

namespace qc {

inline bool moves_little_endian_fields(const QuolanObject *stream)
{
    if (!quolan_stream_record) return false;
    const QuolanStreamRecord *record = quolan_stream_record(stream);
    return record && (record->flags & QuolanStreamLittleEndianChannel) != 0;
}

}  // namespace qc

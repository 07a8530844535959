/*
 * quolan/stream.h - stream objects of the host stream library.
 *
 * A stream is an object of the QUOLAN object system whose status word sits at
 * byte offset 24: 0 while all is well, nonzero and sticky after a failed read.
 * Containers read it directly and never write it.  The stand-in's integers
 * travel as little-endian int32.  This project ships a stand-in (memory and file streams
 * in libquolan_platform) that a real host library can replace at link time.
 *
 * Streams are deleted through their Delete slot:
 *     quolan_base_methods(s)->Delete(s);
 */
#ifndef QUOLAN_STREAM_H
#define QUOLAN_STREAM_H

#include "quolan/object.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Stream slots after the base interface.  Slots 12-17, 20 and 24 are the
 * stream library's own business; the stand-in answers -2 there. */
#define QUOLAN_STREAM_METHOD_LIST(X, C)                                                   \
    X(C, 12, Reserved12, int32_t, (QuolanObject * self), 0)                               \
    X(C, 13, Reserved13, int32_t, (QuolanObject * self), 0)                               \
    X(C, 14, Reserved14, int32_t, (QuolanObject * self), 0)                               \
    X(C, 15, Reserved15, int32_t, (QuolanObject * self), 0)                               \
    X(C, 16, Reserved16, int32_t, (QuolanObject * self), 0)                               \
    X(C, 17, Reserved17, int32_t, (QuolanObject * self), 0)                               \
    X(C, 18, ReadBytes, int32_t, (QuolanObject * self, void *buffer, int32_t count), 1)   \
    X(C, 19, ReadByte, int32_t, (QuolanObject * self), 1)                                 \
    X(C, 20, Reserved20, int32_t, (QuolanObject * self), 0)                               \
    X(C, 21, ReadInt32, int32_t, (QuolanObject * self), 1)                                \
    X(C, 22, WriteBytes, int32_t, (QuolanObject * self, const void *buffer, int32_t count), 1) \
    X(C, 23, WriteByte, int32_t, (QuolanObject * self, int32_t byte), 1)                  \
    X(C, 24, Reserved24, int32_t, (QuolanObject * self), 0)                               \
    X(C, 25, WriteInt32, int32_t, (QuolanObject * self, int32_t value), 1)

enum { QUOLAN_STREAM_METHOD_LIST(QUOLAN_SLOT_ENUM, Stream) StreamSlot_Count };

typedef struct StreamMethods {
    QUOLAN_BASE_METHOD_LIST(QUOLAN_METHOD_MEMBER, _)
    QUOLAN_STREAM_METHOD_LIST(QUOLAN_METHOD_MEMBER, _)
} StreamMethods;
QUOLAN_BASE_METHOD_LIST(QUOLAN_METHOD_OFFSET_CHECK, StreamMethods)
QUOLAN_STREAM_METHOD_LIST(QUOLAN_METHOD_OFFSET_CHECK, StreamMethods)
QUOLAN_STATIC_ASSERT(sizeof(StreamMethods) == StreamSlot_Count * sizeof(QuolanMethod),
                     "StreamMethods has one member per stream slot");

/* The part of a stream's layout that others may read. */
typedef struct QuolanStream {
    QuolanObject header;
    int32_t status; /* offset 24: 0 while well, sticky nonzero after a failed read */
} QuolanStream;
QUOLAN_STATIC_ASSERT(offsetof(QuolanStream, status) == 24, "stream status word at offset 24");

static inline const StreamMethods *quolan_stream_methods(const QuolanObject *stream)
{
    return QUOLAN_REINTERPRET(const StreamMethods *, stream->methods);
}

static inline int32_t quolan_stream_status(const QuolanObject *stream)
{
    return QUOLAN_REINTERPRET(const QuolanStream *, stream)->status;
}

/* An empty, writable memory stream; reads consume from the start.  NULL on
 * failure. */
QUOLAN_EXPORT QuolanObject *quolan_memory_stream_new(void);

/* A readable memory stream holding a copy of size bytes.  NULL on failure. */
QUOLAN_EXPORT QuolanObject *quolan_memory_stream_from(const void *bytes, size_t size);

/* The bytes written so far (valid until the next write or Delete); size may be
 * NULL.  NULL for a stream that is not a memory stream. */
QUOLAN_EXPORT const unsigned char *quolan_memory_stream_data(QuolanObject *stream, size_t *size);

/* Lets at most limit more bytes be written; further writes fail short.  For
 * tests of short writes.  Answers 0, or -2 for a stream that is not a memory
 * stream. */
QUOLAN_EXPORT int32_t quolan_memory_stream_set_write_limit(QuolanObject *stream, size_t limit);

/* A file stream; mode "rb" or "wb".  NULL on failure. */
QUOLAN_EXPORT QuolanObject *quolan_file_stream_open(const char *path, const char *mode);

/* Bytes consumed by reads so far (memory and file streams alike); lets tools
 * report where a record went wrong. */
QUOLAN_EXPORT size_t quolan_stream_read_offset(QuolanObject *stream);

/* What a stream class vouches for, kept by the stream library per class and
 * registered when the class is made.  QuolanStreamLittleEndianChannel: the
 * class's ReadInt32/WriteInt32 move four little-endian bytes and its
 * ReadByte/WriteByte one byte, through the same channel as its
 * ReadBytes/WriteBytes; a reader or writer may then move several fields
 * with one byte-run call.  The stand-in keeps such a record for
 * its own memory and file stream class only. */
typedef struct QuolanStreamRecord {
    uint32_t flags;
} QuolanStreamRecord;
enum { QuolanStreamLittleEndianChannel = 1u };

/* The record of `stream`'s exact class, or NULL: for a class the stream
 * library did not make (a host's, or one derived from the stand-in's, which
 * may override any slot) there is none. */
QUOLAN_EXPORT const QuolanStreamRecord *quolan_stream_record(const QuolanObject *stream);

/* Class identity: int32 length L (1..127), then the L bytes of the class
 * name, through the stream's own slots.  0, or a nonzero status. */
QUOLAN_EXPORT int32_t registrar_save_quolan_class_type(QuolanObject *object, QuolanObject *stream);

/* Reads what the registrar wrote and answers the class of that name, or NULL
 * for a bad length, a short read, or a name no created class answers to.
 * Classes must be created before objects of them are loaded. */
QUOLAN_EXPORT QuolanObject *reanimator_get_class_from_stream(QuolanObject *stream);

#ifdef __cplusplus
}
#endif

#endif /* QUOLAN_STREAM_H */

/*
 * platform/streams.cpp - the stand-in stream library: memory and file streams.
 *
 * Both kinds are instances of one stream class, a subclass of the root made
 * the first time a stream is wanted.  Its table has the 12 base slots and the
 * 14 stream slots; the ones the stream library keeps for itself stay refused.
 *
 * Status word (offset 24): 0 while well; -2 after any read that could not
 * deliver everything asked for, and it stays -2 for the life of the stream.
 * Writes never touch it: a failed write is reported by the write's own answer
 * (a short count, or -2), because containers read the status word to judge
 * what they have read, not what they have written.
 *
 * Memory streams append at the end and read from a separate position, so a
 * test can write a record and read it back from the same stream.  A zeroed
 * instance is a valid empty memory stream, which keeps New on the stream
 * class harmless.  The buffer grows geometrically: container Save and Load
 * run through these slots on benchmarked paths.
 *
 * File streams wrap a FILE* opened "rb" (read only) or "wb" (write only).
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "internal.h"
#include "quolan/stream.h"

using namespace quolan::platform;

namespace {

constexpr int32_t kStreamFailed = -2;

enum StreamKind : int32_t { kMemory = 0, kFile = 1 };

struct Stream {
    QuolanObject header;
    int32_t status;      /* offset 24, read by the containers */
    int32_t kind;        /* StreamKind; 0 so a zeroed instance is a memory stream */
    size_t consumed;     /* bytes consumed by reads; the read position in memory */
    /* memory streams */
    unsigned char *bytes; /* owned; NULL until the first write */
    size_t length;        /* bytes written */
    size_t capacity;
    size_t write_room;    /* bytes still writable while limited */
    int32_t limited;      /* nonzero once a write limit was set */
    /* file streams */
    int32_t writable;     /* opened "wb" */
    FILE *file;           /* owned; closed by Clear */
};
static_assert(offsetof(Stream, status) == offsetof(QuolanStream, status),
              "the status word is where the containers read it");

QuolanObject *stream_class = nullptr;

/* Stream class records, registered as each class is made (the stand-in
 * makes one class), found by the exact table of a stream's class. */
struct RegisteredStreamClass {
    const QuolanMethod *table;
    QuolanStreamRecord record;
};
RegisteredStreamClass registered_streams[1];

inline Stream *as_stream(QuolanObject *object)
{
    return reinterpret_cast<Stream *>(object);
}

/* Only objects sharing the stream class's table are ours to look inside. */
Stream *our_stream(QuolanObject *object)
{
    if (!object || !stream_class || object->methods != stream_class->methods)
        return nullptr;
    return as_stream(object);
}

inline void put_le32(unsigned char *out, int32_t value)
{
    uint32_t bits = static_cast<uint32_t>(value);
    out[0] = static_cast<unsigned char>(bits);
    out[1] = static_cast<unsigned char>(bits >> 8);
    out[2] = static_cast<unsigned char>(bits >> 16);
    out[3] = static_cast<unsigned char>(bits >> 24);
}

inline int32_t get_le32(const unsigned char *in)
{
    uint32_t bits = static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
                    static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
    return static_cast<int32_t>(bits);
}

/* Copies of a few bytes, which containers move one field at a time, are
 * fixed-size moves here instead of calls to memcpy. */
[[gnu::always_inline]] inline void copy_bytes(void *to, const void *from, size_t count)
{
    unsigned char *out = static_cast<unsigned char *>(to);
    const unsigned char *in = static_cast<const unsigned char *>(from);
    if (count >= 8 && count <= 16) {
        memcpy(out, in, 8);
        memcpy(out + count - 8, in + count - 8, 8);
    } else if (count >= 4 && count < 8) {
        memcpy(out, in, 4);
        memcpy(out + count - 4, in + count - 4, 4);
    } else if (count < 4) {
        for (size_t i = 0; i < count; ++i)
            out[i] = in[i];
    } else {
        memcpy(out, in, count);
    }
}

/* ---- the byte-moving core, one pair of functions per kind --------------- */

/* The memory paths are forced inline so that the fixed sizes of WriteInt32
 * and ReadInt32 reach memcpy as constants and become plain moves. */

/* Cold path of memory_reserve, kept out of line so the common case of a write
 * that fits stays a compare and a memcpy. */
__attribute__((noinline)) bool memory_grow(Stream *s, size_t needed)
{
    size_t capacity = s->capacity ? s->capacity : 64;
    while (capacity < needed)
        capacity = capacity > SIZE_MAX / 2 ? needed : capacity * 2;
    void *grown = pf_realloc(s->bytes, capacity);
    if (!grown)
        return false;
    s->bytes = static_cast<unsigned char *>(grown);
    s->capacity = capacity;
    return true;
}

inline bool memory_reserve(Stream *s, size_t count)
{
    if (s->capacity - s->length >= count)
        return true;
    if (count > SIZE_MAX - s->length)
        return false;
    return memory_grow(s, s->length + count);
}

/* Moves up to count bytes in; answers how many.  Never more than the limit
 * allows, nothing at all when memory runs out. */
[[gnu::always_inline]] inline size_t memory_write(Stream *s, const void *buffer, size_t count)
{
    if (s->limited && count > s->write_room)
        count = s->write_room;
    if (count == 0 || !memory_reserve(s, count))
        return 0;
    copy_bytes(s->bytes + s->length, buffer, count);
    s->length += count;
    if (s->limited)
        s->write_room -= count;
    return count;
}

[[gnu::always_inline]] inline size_t memory_read(Stream *s, void *buffer, size_t count)
{
    size_t available = s->length - s->consumed;
    if (count > available)
        count = available;
    copy_bytes(buffer, s->bytes + s->consumed, count);
    s->consumed += count;
    return count;
}

size_t file_write(Stream *s, const void *buffer, size_t count)
{
    if (!s->file || !s->writable)
        return 0;
    return fwrite(buffer, 1, count, s->file);
}

size_t file_read(Stream *s, void *buffer, size_t count)
{
    if (!s->file || s->writable)
        return 0;
    size_t got = fread(buffer, 1, count, s->file);
    s->consumed += got;
    return got;
}

/* Writes all of count bytes or answers false.  Memory streams refuse a write
 * that cannot fit whole rather than leave half a value behind. */
[[gnu::always_inline]] inline bool write_whole(Stream *s, const unsigned char *buffer, size_t count)
{
    if (s->kind == kMemory) {
        if (s->limited && count > s->write_room)
            return false;
        return memory_write(s, buffer, count) == count;
    }
    return file_write(s, buffer, count) == count;
}

/* Reads count bytes, marking the stream failed if fewer arrived. */
[[gnu::always_inline]] inline size_t read_some(Stream *s, void *buffer, size_t count)
{
    size_t got = s->kind == kMemory ? memory_read(s, buffer, count) : file_read(s, buffer, count);
    if (got < count)
        s->status = kStreamFailed;
    return got;
}

/* ---- stream slots -------------------------------------------------------- */

void stream_Clear(QuolanObject *self)
{
    Stream *s = as_stream(self);
    free(s->bytes);
    s->bytes = nullptr;
    s->length = s->capacity = s->consumed = 0;
    if (s->file) {
        fclose(s->file);
        s->file = nullptr;
    }
}

__attribute__((noinline)) int32_t read_bytes_rest(Stream *s, void *buffer, int32_t count);

int32_t stream_ReadBytes(QuolanObject *self, void *buffer, int32_t count)
{
    Stream *s = as_stream(self);
    /* Containers read fields of a few bytes: when they are there in memory,
     * a fixed-size move, and the rest out of line. */
    if (s->kind == kMemory && count >= 4 && count <= 16 && buffer &&
        s->length - s->consumed >= static_cast<size_t>(count)) {
        unsigned char *out = static_cast<unsigned char *>(buffer);
        const unsigned char *in = s->bytes + s->consumed;
        const size_t n = static_cast<size_t>(count);
        if (n >= 8) {
            memcpy(out, in, 8);
            memcpy(out + n - 8, in + n - 8, 8);
        } else {
            memcpy(out, in, 4);
            memcpy(out + n - 4, in + n - 4, 4);
        }
        s->consumed += n;
        return count;
    }
    return read_bytes_rest(s, buffer, count);
}

int32_t read_bytes_rest(Stream *s, void *buffer, int32_t count)
{
    if (count <= 0)
        return 0;
    if (!buffer) {
        s->status = kStreamFailed;
        return 0;
    }
    return static_cast<int32_t>(read_some(s, buffer, static_cast<size_t>(count)));
}

int32_t stream_ReadByte(QuolanObject *self)
{
    /* Room for the widest fixed-size move the inlined copy might make. */
    unsigned char byte[16] = {0};
    return read_some(as_stream(self), byte, 1) == 1 ? byte[0] : 0;
}

int32_t stream_ReadInt32(QuolanObject *self)
{
    Stream *s = as_stream(self);
    /* Containers read most of a record one int32 at a time: a whole value
     * that is there in memory is a fixed four-byte load. */
    if (s->kind == kMemory && s->length - s->consumed >= 4) {
        int32_t value = get_le32(s->bytes + s->consumed);
        s->consumed += 4;
        return value;
    }
    unsigned char raw[4];
    return read_some(s, raw, sizeof raw) == sizeof raw ? get_le32(raw) : 0;
}

int32_t stream_WriteBytes(QuolanObject *self, const void *buffer, int32_t count)
{
    Stream *s = as_stream(self);
    if (count <= 0 || !buffer)
        return 0;
    size_t n = static_cast<size_t>(count);
    return static_cast<int32_t>(s->kind == kMemory ? memory_write(s, buffer, n)
                                                   : file_write(s, buffer, n));
}

int32_t stream_WriteByte(QuolanObject *self, int32_t byte)
{
    unsigned char raw[16] = {static_cast<unsigned char>(byte)};
    return write_whole(as_stream(self), raw, 1) ? 0 : kStreamFailed;
}

int32_t stream_WriteInt32(QuolanObject *self, int32_t value)
{
    Stream *s = as_stream(self);
    if (s->kind == kMemory && !s->limited && s->capacity - s->length >= 4) {
        put_le32(s->bytes + s->length, value);  /* room is there: a fixed store */
        s->length += 4;
        return 0;
    }
    unsigned char raw[4];
    put_le32(raw, value);
    return write_whole(s, raw, sizeof raw) ? 0 : kStreamFailed;
}

QuolanObject *make_stream_class(void)
{
    quolan_class_init();
    QuolanObject *cls = quolan_generic_subclass(quolan_class, sizeof(Stream),
                                                StreamSlot_Count * sizeof(QuolanMethod));
    if (!cls)
        return nullptr;
    QuolanMethod *table = cls->methods;
    table[QuolanSlot_Clear] = to_method(&stream_Clear);
    table[StreamSlot_ReadBytes] = to_method(&stream_ReadBytes);
    table[StreamSlot_ReadByte] = to_method(&stream_ReadByte);
    table[StreamSlot_ReadInt32] = to_method(&stream_ReadInt32);
    table[StreamSlot_WriteBytes] = to_method(&stream_WriteBytes);
    table[StreamSlot_WriteByte] = to_method(&stream_WriteByte);
    table[StreamSlot_WriteInt32] = to_method(&stream_WriteInt32);
    /* Both kinds of stream move int32 fields as four little-endian bytes and
     * single bytes as one, through the byte channel their byte runs use. */
    registered_streams[0] = {cls->methods, {QuolanStreamLittleEndianChannel}};
    return cls;
}

Stream *new_stream(StreamKind kind)
{
    if (!stream_class)
        stream_class = make_stream_class();
    if (!stream_class)
        return nullptr;
    QuolanObject *object = quolan_base_methods(stream_class)->New(stream_class);
    if (!object)
        return nullptr;
    Stream *s = as_stream(object);
    s->kind = kind;
    return s;
}

} // namespace

extern "C" {

QuolanObject *quolan_memory_stream_new(void)
{
    Stream *s = new_stream(kMemory);
    return s ? &s->header : nullptr;
}

QuolanObject *quolan_memory_stream_from(const void *bytes, size_t size)
{
    if (!bytes && size > 0)
        return nullptr;
    Stream *s = new_stream(kMemory);
    if (!s)
        return nullptr;
    if (size > 0) {
        if (!memory_reserve(s, size)) {
            quolan_base_methods(&s->header)->Delete(&s->header);
            return nullptr;
        }
        memcpy(s->bytes, bytes, size);
        s->length = size;
    }
    return &s->header;
}

const unsigned char *quolan_memory_stream_data(QuolanObject *stream, size_t *size)
{
    /* An empty stream has no buffer yet but is still a memory stream, and
     * NULL is kept for "not a memory stream". */
    static const unsigned char empty[1] = {0};
    Stream *s = our_stream(stream);
    if (!s || s->kind != kMemory) {
        if (size)
            *size = 0;
        return nullptr;
    }
    if (size)
        *size = s->length;
    return s->bytes ? s->bytes : empty;
}

int32_t quolan_memory_stream_set_write_limit(QuolanObject *stream, size_t limit)
{
    Stream *s = our_stream(stream);
    if (!s || s->kind != kMemory)
        return kStreamFailed;
    s->limited = 1;
    s->write_room = limit;
    return 0;
}

QuolanObject *quolan_file_stream_open(const char *path, const char *mode)
{
    if (!path || !mode)
        return nullptr;
    bool writable = strcmp(mode, "wb") == 0;
    if (!writable && strcmp(mode, "rb") != 0)
        return nullptr;
    FILE *file = fopen(path, mode);
    if (!file)
        return nullptr;
    Stream *s = new_stream(kFile);
    if (!s) {
        fclose(file);
        return nullptr;
    }
    s->file = file;
    s->writable = writable ? 1 : 0;
    return &s->header;
}

const QuolanStreamRecord *quolan_stream_record(const QuolanObject *stream)
{
    if (!stream)
        return nullptr;
    for (const RegisteredStreamClass &c : registered_streams)
        if (c.table && c.table == stream->methods)
            return &c.record;
    return nullptr;
}

size_t quolan_stream_read_offset(QuolanObject *stream)
{
    Stream *s = our_stream(stream);
    return s ? s->consumed : 0;
}

} // extern "C"

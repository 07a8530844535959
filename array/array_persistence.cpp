// Array Save and Load: the element record that every container writes.
//
//   count      int32, one entry per position from 0
//   entry      int32 tag, then by tag:
//                0 Null         nothing
//                1 Integer      int32
//                2 Double       8 bytes, IEEE-754 binary64 as held in memory
//                4 String       int32 length L, then L bytes and a NUL
//                6 Object       class identity (the stream library's), then
//                               whatever the object's own Save writes
//                9 Boolean      1 byte
//
// Borrowed strings and objects are written as their owned kinds, so a loaded
// array owns copies.  Pointers cannot be written.  Load trusts nothing: every
// count, length and tag is checked, strings are read in bounded chunks (memory
// grows with the bytes actually read, never with a claimed length), and
// nesting is capped by NestingGuard.
#include <climits>

#include "array/array.h"
#include "framework/nesting.h"

namespace qc {

namespace {

int32_t save_string(QuolanObject *stream, const char *text)
{
    if (!text) return StatusBadType;  // a borrowed NULL string has nothing to write
    size_t length = std::strlen(text);
    if (length >= static_cast<size_t>(INT32_MAX)) return StatusFailed;
    const StreamMethods *s = stream_of(stream);
    int32_t status = s->WriteInt32(stream, static_cast<int32_t>(length));
    if (status != StatusOk) return status;
    int32_t total = static_cast<int32_t>(length + 1);
    return s->WriteBytes(stream, text, total) == total ? StatusOk : StatusFailed;
}

int32_t save_entry(QuolanObject *stream, int32_t tag, void *value, int32_t mode)
{
    const StreamMethods *s = stream_of(stream);
    // A null object has no class to name: it is written as an empty position.
    if (family(tag) == Object && !value) tag = Null;
    int32_t written_tag = tag;
    if (tag == String) written_tag = OwnedString;
    if (tag == Object) written_tag = OwnedObject;
    int32_t status = s->WriteInt32(stream, written_tag);
    if (status != StatusOk) return status;

    switch (written_tag) {
    case Null: return StatusOk;
    case Integer: return s->WriteInt32(stream, *static_cast<int32_t *>(value));
    case Double: return s->WriteBytes(stream, value, 8) == 8 ? StatusOk : StatusFailed;
    case OwnedString: return save_string(stream, static_cast<const char *>(value));
    case OwnedObject: {
        auto *object = static_cast<QuolanObject *>(value);
        status = registrar_save_quolan_class_type(object, stream);
        if (status != StatusOk) return status;
        return base_of(object)->Save(object, stream, mode);
    }
    case Boolean: return s->WriteByte(stream, *static_cast<int32_t *>(value) & 0xff);
    default: return StatusBadType;  // pointers and unknown tags; the tag is already out
    }
}

// The record must be exactly the text and one NUL.
bool well_formed(const char *buffer, int32_t length)
{
    return buffer[length] == '\0' && !std::memchr(buffer, '\0', static_cast<size_t>(length));
}

// Reads `length` bytes and the NUL into `buffer` (room for length + 1).
bool read_text(QuolanObject *stream, char *buffer, int32_t length)
{
    return stream_of(stream)->ReadBytes(stream, buffer, length + 1) == length + 1 &&
           well_formed(buffer, length);
}

// Reads a string record body of `length` bytes plus its NUL.  Memory grows
// with what the stream delivers, so a lying length costs no more than the
// bytes actually present.  Answers an owned buffer or NULL with *status set.
char *load_string(QuolanObject *stream, int32_t length, int32_t *status)
{
    *status = StatusFailed;
    if (length < 0 || length == INT32_MAX) return nullptr;
    const size_t total = static_cast<size_t>(length) + 1;
    const size_t chunk = 64 * 1024;
    size_t have = 0;
    size_t room = total < chunk ? total : chunk;
    char *buffer = static_cast<char *>(mem::alloc(room));
    while (buffer) {
        size_t want = total - have < chunk ? total - have : chunk;
        if (have + want > room) {
            size_t bigger = room * 2 < have + want ? have + want : room * 2;
            if (bigger > total) bigger = total;
            char *grown = static_cast<char *>(mem::grow(buffer, bigger));
            if (!grown) break;
            buffer = grown;
            room = bigger;
        }
        int32_t n = static_cast<int32_t>(want);
        if (stream_of(stream)->ReadBytes(stream, buffer + have, n) != n) break;
        have += want;
        if (have == total) {
            if (!well_formed(buffer, length)) break;
            *status = StatusOk;
            return buffer;
        }
    }
    mem::release(buffer);
    return nullptr;
}

int32_t load_entry(QuolanObject *self, QuolanObject *stream, int32_t position)
{
    const StreamMethods *s = stream_of(stream);
    const ArrayMethods *m = array_of(self);
    int32_t tag = s->ReadInt32(stream);
    // A failed read must end the load: otherwise a claimed count would be
    // walked in full over a dead stream.
    if (quolan_stream_status(stream) != StatusOk) return quolan_stream_status(stream);
    if (!is_known_tag(tag)) return StatusBadType;

    switch (tag) {
    case Null: return StatusOk;  // the position keeps what it holds
    case Integer: {
        int32_t v = s->ReadInt32(stream);
        if (quolan_stream_status(stream) != StatusOk) return quolan_stream_status(stream);
        return m->PutIntAt(self, v, position);
    }
    case Double: {
        double v;
        if (s->ReadBytes(stream, &v, 8) != 8) return StatusFailed;
        return m->PutDoubleAt(self, v, position);
    }
    case OwnedString: {
        int32_t length = s->ReadInt32(stream);
        // Most texts are short: read those on the stack, saving an
        // allocation per string (the put makes the array's own copy anyway).
        char small[256];
        if (length >= 0 && length < static_cast<int32_t>(sizeof small)) {
            if (!read_text(stream, small, length)) return StatusFailed;
            return m->PutStringCopyAt(self, small, position);
        }
        int32_t status;
        char *text = load_string(stream, length, &status);
        if (!text) return status;
        status = m->PutStringCopyAt(self, text, position);
        mem::release(text);
        return status;
    }
    case OwnedObject: {
        QuolanObject *cls = reanimator_get_class_from_stream(stream);
        if (!cls) return StatusFailed;
        QuolanObject *object = base_of(cls)->NewFromStream(cls, stream, 0);
        if (!object) return StatusFailed;
        int32_t status = m->PutObjectCopyAt(self, object, position);
        if (status != StatusOk) base_of(object)->Delete(object);  // not taken over
        return status;
    }
    case Boolean: {
        int32_t v = s->ReadByte(stream) & 0xff;
        if (quolan_stream_status(stream) != StatusOk) return quolan_stream_status(stream);
        return m->PutBooleanAt(self, v, position);
    }
    default: return StatusBadType;  // String, Object and pointer tags never appear
    }
}

// Whether Save may read the storage itself: the object reads its size and
// its positions with Array's own GetSizes and GetAt, and every position
// counted is in use, so reading one only moves the cursor.
bool reads_in_place(QuolanObject *self, int32_t count)
{
    if (!keeps_array_slots(self, kReadSlots)) return false;
    ArrayInstance *a = as_array(self);
    if (!a->dimensions) return false;
    const DimensionRecord &rec = record_of(a);
    return rec.used_count == count && (rec.max_size == 0 || count <= rec.max_size);
}

int32_t save_in_place(ArrayInstance *a, QuolanObject *stream, int32_t count, int32_t mode)
{
    int32_t status = StatusOk;
    int32_t p = 0;
    for (; p < count; ++p) {
        // A nested object's Save may have changed this array: read afresh,
        // and answer as a read of a position no longer there would.
        if (!a->dimensions || p >= record_of(a).used_count) return StatusOutOfRange;
        Element e = a->elements[p];
        status = save_entry(stream, e.tag, value_ref(e), mode);
        if (status != StatusOk) break;
    }
    // Where reading position by position leaves the cursor: on the last read.
    if (count > 0 && a->cursors) {
        int32_t last = p < count ? p : count - 1;
        cursor_of(a) = last;
        a->current_slot = last;
    }
    return status;
}

}  // namespace

int32_t Array_Save(QuolanObject *self, QuolanObject *stream, int32_t mode)
{
    if (!stream || mode == 1) return StatusFailed;
    NestingGuard guard;
    if (!guard.ok()) return StatusFailed;

    const ArrayMethods *m = array_of(self);
    int32_t count = m->GetSizes(self, nullptr, nullptr);
    if (count < 0) return count;
    int32_t status = stream_of(stream)->WriteInt32(stream, count);
    if (status != StatusOk) return status;
    if (reads_in_place(self, count)) return save_in_place(as_array(self), stream, count, mode);
    for (int32_t p = 0; p < count; ++p) {
        void *value = nullptr;
        int32_t tag = Null;
        status = m->GetAt(self, &value, &tag, p);
        if (status != StatusOk) return status;
        status = save_entry(stream, tag, value, mode);
        if (status != StatusOk) return status;
    }
    return StatusOk;
}

int32_t Array_Load(QuolanObject *self, QuolanObject *stream, int32_t mode)
{
    if (!stream || mode != 0) return StatusFailed;
    NestingGuard guard;
    if (!guard.ok()) return StatusFailed;

    int32_t count = stream_of(stream)->ReadInt32(stream);
    if (quolan_stream_status(stream) != StatusOk) return quolan_stream_status(stream);
    for (int32_t i = 0; i < count; ++i) {
        int32_t status = load_entry(self, stream, i);
        if (status != StatusOk) return status;
    }
    return StatusOk;
}

}  // namespace qc

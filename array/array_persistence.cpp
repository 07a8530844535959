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
#include <algorithm>
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

// Load puts each entry through the object's own put methods; when its class
// record says those are Array's own, the entry goes straight into storage
// as they would put it, decided once per Load.
constexpr uint64_t kLoadPutSlots = slot_bit(ArraySlot_PutAt) | slot_bit(ArraySlot_PutIntAt) |
                                   slot_bit(ArraySlot_PutDoubleAt) | slot_bit(ArraySlot_PutBooleanAt) |
                                   slot_bit(ArraySlot_PutStringCopyAt);

// A text entry's body of `length` bytes and its NUL, put at `position`.
int32_t load_text(QuolanObject *self, QuolanObject *stream, int32_t length, int32_t position, bool direct)
{
    // Most texts are short.  Put straight into storage, one is read into the
    // block that becomes the array's own copy; through the table, it is read
    // on the stack and the put makes the copy.
    constexpr int32_t kShort = 256;
    if (length >= 0 && length < kShort) {
        char *copy = direct ? alloc_text(static_cast<size_t>(length)) : nullptr;
        if (copy) {
            if (!read_text(stream, copy, length)) {
                mem::release(copy);
                return StatusFailed;
            }
            return put_text_copy(as_array(self), copy, position);
        }
        char small[kShort];
        if (!read_text(stream, small, length)) return StatusFailed;
        // Without memory for the copy, the put ends as one whose copy failed.
        if (direct) return put_text_copy(as_array(self), nullptr, position);
        return array_of(self)->PutStringCopyAt(self, small, position);
    }
    int32_t status;
    char *text = load_string(stream, length, &status);
    if (!text) return status;
    status = direct ? Array_PutAt(self, text, OwnedString, position)
                    : array_of(self)->PutStringCopyAt(self, text, position);
    mem::release(text);
    return status;
}

// The entry at `position` whose tag has been read.
int32_t load_entry(QuolanObject *self, QuolanObject *stream, int32_t position, bool direct, int32_t tag)
{
    const StreamMethods *s = stream_of(stream);
    const ArrayMethods *m = array_of(self);
    if (!is_known_tag(tag)) return StatusBadType;

    switch (tag) {
    case Null: return StatusOk;  // the position keeps what it holds
    case Integer: {
        int32_t v = s->ReadInt32(stream);
        if (quolan_stream_status(stream) != StatusOk) return quolan_stream_status(stream);
        if (direct) return put_datum(as_array(self), int_element(Integer, v), position);
        return m->PutIntAt(self, v, position);
    }
    case Double: {
        double v;
        if (s->ReadBytes(stream, &v, 8) != 8) return StatusFailed;
        if (direct) {
            Element e;
            e.tag = Double;
            e.value.real = v;
            return put_datum(as_array(self), e, position);
        }
        return m->PutDoubleAt(self, v, position);
    }
    case OwnedString: return load_text(self, stream, s->ReadInt32(stream), position, direct);
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
        if (direct) return put_datum(as_array(self), int_element(Boolean, v), position);
        return m->PutBooleanAt(self, v, position);
    }
    default: return StatusBadType;  // String, Object and pointer tags never appear
    }
}

// A little-endian int32, as the stream interface carries them.
inline int32_t le32(const unsigned char *in)
{
    uint32_t bits;
    std::memcpy(&bits, in, sizeof bits);
    if constexpr (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) bits = __builtin_bswap32(bits);
    return static_cast<int32_t>(bits);
}

// Whether a datum put straight into storage at `position` can neither fail
// nor run foreign code: no bound, no growth, and nothing owned to release.
bool puts_quietly(ArrayInstance *a, int32_t position)
{
    const DimensionRecord *rec = single_record(a);
    return rec && rec->max_size == 0 && (a->capacity & (kGrowthStep - 1)) == 0 && position < a->capacity &&
           !is_owned(a->elements[position].tag);
}

// The put of a datum where puts_quietly holds: what select_for_write and
// put_datum do there, with nothing to release.
inline void store_quietly(ArrayInstance *a, int32_t position, const Element &incoming)
{
    DimensionRecord *rec = a->dimensions;
    if (position >= rec->used_count) rec->used_count = position + 1;
    a->cursors[0] = position;
    a->current_slot = position;
    a->elements[position] = incoming;
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

// Save's staging buffer.  The in-place save gathers whole entries here and
// hands them to the stream with one WriteBytes per bufferful, instead of
// two or three calls through the stream's table per entry.  The bytes are
// exactly those the field-by-field writes produce: int32 fields in the
// little-endian order the stream interface defines for WriteInt32, a
// Double's 8 bytes as held in memory, a Boolean's one byte, a text and its
// NUL.  The buffer starts at an entry boundary and holds whole entries, so a
// write that the stream takes only in part names the entry it stopped in,
// as the field write that failed would have: the save ends there with -2.
// What the stream took stays, a prefix of the record either way; a stream
// that takes int32 fields whole or not at all may now hold part of one.
// Anything else that writes to the stream (a nested object's Save, a text
// too long for the buffer) goes after the buffer has been handed over.
class Staging {
public:
    Staging(QuolanObject *stream, int32_t first) : stream_(stream), first_(first) {}

    // Room for an entry of `size` bytes, handing the buffer over first if
    // need be; false when the entry can never fit (then write it directly).
    bool room(size_t size)
    {
        if (size > sizeof bytes_) return false;
        if (used_ + size > sizeof bytes_) flush();
        return true;
    }
    void begin_entry() { ++entries_; }
    void int32(int32_t v)
    {
        put_le32(bytes_ + used_, v);
        used_ += 4;
    }
    void raw(const void *data, size_t n)
    {
        std::memcpy(bytes_ + used_, data, n);
        used_ += n;
    }
    // Hands the buffer to the stream; the number of the entry the stream
    // stopped in, or -1 when it took everything.  A failure seen by an
    // earlier handover stands.
    int32_t flush()
    {
        if (failed_at_ >= 0 || used_ == 0) return failed_at_;
        const int32_t taken = stream_of(stream_)->WriteBytes(stream_, bytes_, static_cast<int32_t>(used_));
        if (taken < 0 || static_cast<size_t>(taken) < used_) failed_at_ = first_ + entry_holding(taken);
        first_ += entries_;
        entries_ = 0;
        used_ = 0;
        return failed_at_;
    }
    // Stages the Integer entries from `from` on, up to `end` or the first
    // other entry or a full buffer; answers where it stopped.
    int32_t stage_integers(const Element *entries, int32_t from, int32_t end)
    {
        size_t used = used_;
        int32_t p = from;
        for (; p < end && used + 8 <= sizeof bytes_ && entries[p].tag == Integer; ++p, used += 8) {
            put_le32(bytes_ + used, Integer);
            put_le32(bytes_ + used + 4, entries[p].value.integer);
        }
        entries_ += p - from;
        used_ = used;
        return p;
    }
    // The entry a failed handover stopped in, or -1.
    int32_t failed_at() const { return failed_at_; }
    // Counts an entry written directly.
    void skip_entry() { ++first_; }

private:
    static void put_le32(unsigned char *out, int32_t v)
    {
        uint32_t bits = static_cast<uint32_t>(v);
        if constexpr (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) bits = __builtin_bswap32(bits);
        std::memcpy(out, &bits, sizeof bits);
    }
    // The entry (counted from the buffer's start) holding byte `offset`,
    // found by walking the staged entries by their tags.
    int32_t entry_holding(int32_t offset) const
    {
        size_t at = 0;
        int32_t k = 0;
        for (; k + 1 < entries_; ++k) {
            const int32_t tag = le32(bytes_ + at);
            int32_t length = 0;
            size_t size = 4;
            if (tag == Integer) size = 8;
            if (tag == Double) size = 12;
            if (tag == Boolean) size = 5;
            if (tag == OwnedString && at + 8 <= used_) {
                length = le32(bytes_ + at + 4);
                size = 8 + static_cast<size_t>(length) + 1;
            }
            if (offset >= 0 && at + size <= static_cast<size_t>(offset)) at += size;
            else break;
        }
        return k;
    }
    QuolanObject *stream_;
    int32_t first_;        // number of the entry at the start of the buffer
    int32_t entries_ = 0;  // entries in the buffer
    int32_t failed_at_ = -1;
    size_t used_ = 0;
    // No larger than the stand-in stream's first block: a memory stream
    // grows through the same steps as under field-by-field writes, and
    // eight integer entries per call already make the calls a small part
    // of the cost.  It also keeps nested saves' frames small.
    unsigned char bytes_[64];
};

// One entry into the staging buffer, or written directly when it cannot be
// staged (objects, texts longer than the buffer); answers save_entry's
// status, -2 when a handover failed.
int32_t stage_entry(Staging &out, QuolanObject *stream, Element e, int32_t mode)
{
    int32_t tag = e.tag;
    void *value = value_ref(e);
    if (family(tag) == Object && !value) tag = Null;
    const int32_t written_tag = tag == String ? OwnedString : tag;
    size_t size = 4;
    size_t length = 0;
    switch (written_tag) {
    case Null: break;
    case Integer: size = 8; break;
    case Double: size = 12; break;
    case Boolean: size = 5; break;
    case OwnedString:
        if (!value) break;  // a borrowed NULL string: the tag goes out, then -3
        length = std::strlen(static_cast<const char *>(value));
        if (length >= static_cast<size_t>(INT32_MAX)) break;  // refused after its tag, as before
        size = 8 + length + 1;
        break;
    default: break;  // objects, pointers, unknown tags: written directly
    }
    if (written_tag != Object && written_tag != OwnedObject && out.room(size)) {
        if (out.failed_at() >= 0) return StatusFailed;  // the stream stopped in an earlier entry
        out.begin_entry();
        out.int32(written_tag);
        switch (written_tag) {
        case Null: return StatusOk;
        case Integer: out.int32(e.value.integer); return StatusOk;
        case Double: out.raw(&e.value.real, 8); return StatusOk;
        case Boolean: {
            const unsigned char byte = static_cast<unsigned char>(e.value.integer & 0xff);
            out.raw(&byte, 1);
            return StatusOk;
        }
        case OwnedString:
            if (size > 4) {
                out.int32(static_cast<int32_t>(length));
                out.raw(value, length + 1);
                return StatusOk;
            }
            break;
        default: break;
        }
        // A refusal after the tag: the tag must reach the stream first.
        if (out.flush() >= 0) return StatusFailed;
        return !value && written_tag == OwnedString ? StatusBadType
               : written_tag == OwnedString          ? StatusFailed
                                                     : StatusBadType;
    }
    // Written directly, field by field, once what is staged has gone out.
    if (out.flush() >= 0) return StatusFailed;
    out.skip_entry();
    return save_entry(stream, e.tag, value, mode);
}

int32_t save_in_place(ArrayInstance *a, QuolanObject *stream, int32_t count, int32_t mode)
{
    Staging out(stream, 0);
    int32_t status = StatusOk;
    int32_t p = 0;
    for (; p < count; ++p) {
        // A nested object's Save may have changed this array: read afresh,
        // and answer as a read of a position no longer there would.
        if (!a->dimensions || p >= record_of(a).used_count) {
            status = StatusOutOfRange;
            break;
        }
        const Element e = a->elements[p];
        if (e.tag == Integer && out.room(8)) {
            // A run of Integer entries, the commonest, in one tight loop:
            // nothing runs between them that could change the array.
            if (out.failed_at() >= 0) {
                status = StatusFailed;
                break;
            }
            p = out.stage_integers(a->elements, p, std::min(count, record_of(a).used_count)) - 1;
            continue;
        }
        status = stage_entry(out, stream, e, mode);
        if (status != StatusOk) break;
    }
    // An entry the stream stopped in ends the save there, as the field
    // write that failed would have.
    const int32_t stopped = out.flush();
    if (stopped >= 0) {
        p = stopped;
        status = StatusFailed;
    } else if (status == StatusOutOfRange) {
        return status;  // the position is gone: the cursor stays where the nested Save left it
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
    const bool direct = keeps_array_slots(self, kLoadPutSlots);
    const StreamMethods *s = stream_of(stream);
    ArrayInstance *a = as_array(self);
    int32_t tag = Null;
    bool have_tag = false;  // read already, with the entry before
    for (int32_t i = 0; i < count; ++i) {
        if (!have_tag) {
            tag = s->ReadInt32(stream);
            // A failed read must end the load: otherwise a claimed count
            // would be walked in full over a dead stream.
            if (quolan_stream_status(stream) != StatusOk) return quolan_stream_status(stream);
        }
        have_tag = false;
        // An Integer entry that is not the last one, whose put cannot fail
        // or run anything, is read with the next entry's tag in one call:
        // the same bytes in the same order, and nothing happens in between
        // that could tell the difference.  A stream that delivers only part
        // of the eight bytes has consumed what the two reads would have, and
        // the value is put if it arrived whole, as it would have been.
        if (direct && tag == Integer && i + 1 < count && puts_quietly(a, i)) {
            unsigned char raw[8];
            const int32_t got = s->ReadBytes(stream, raw, 8);
            if (got >= 4) store_quietly(a, i, int_element(Integer, le32(raw)));
            if (got < 8) {
                const int32_t status = quolan_stream_status(stream);
                return status != StatusOk ? status : StatusFailed;
            }
            tag = le32(raw + 4);
            have_tag = true;
            continue;
        }
        const int32_t status = load_entry(self, stream, i, direct, tag);
        if (status != StatusOk) return status;
    }
    return StatusOk;
}

}  // namespace qc

// Array Save and Load: the element record that every container writes.
//
//   count      int32, one entry per position from 0
//   entry      int32 tag, then by tag:
//                0 Null         nothing
//                1 Integer      int32
//                2 Double       8 bytes, IEEE-754 binary64 as held in memory
//                4 OwnedString  int32 length L, then L bytes and a NUL
//                6 OwnedObject  class identity (the stream library's), then
//                               whatever the object's own Save writes
//                9 Boolean      1 byte
//
// Borrowed strings (3) and objects (5) are written under their owned tags,
// so a loaded array owns copies.  Pointers cannot be written.
//
// One encoder writes an entry into a sink.  The field sink makes exactly the
// stream calls the record is defined by, one per field, through the
// stream's own table: int32 fields through WriteInt32, a Boolean through
// WriteByte, runs through WriteBytes.  The staging sink, used only for a
// stream whose class record vouches that those slots move little-endian
// bytes through one channel (framework/streams.h), gathers whole entries and
// hands them over in one WriteBytes call per bufferful; the bytes are the
// same.  Load reads field by field in the same way, and reads an Integer's
// value with the next entry's tag in one call only from such a stream.
//
// Load trusts nothing: every count, length and tag is checked, long strings
// are read in bounded chunks (memory grows with the bytes actually read,
// never with a claimed length), and nesting is capped by NestingGuard.
#include <algorithm>
#include <climits>

#include "array/array.h"
#include "framework/byte_order.h"
#include "framework/nesting.h"
#include "framework/streams.h"

namespace qc {

namespace {

// Field widths of the record.
constexpr size_t kInt32Field = 4;
constexpr size_t kDoubleField = 8;
constexpr size_t kByteField = 1;

// An entry as the record holds it: the tag it is written under (borrowed
// texts and objects as their owned kinds, an object entry without an object
// as an empty position), its size in bytes when the encoder writes it whole
// (0 for an object, whose record is its own), and a text's length.
struct Shape {
    int32_t tag;
    size_t size;
    const char *text;
    size_t length;
};

Shape shape_of(const Element &e)
{
    // Integers first: whole arrays of them are the commonest record.
    if (e.tag == Integer) return {Integer, kInt32Field + kInt32Field, nullptr, 0};
    switch (e.tag) {
    case Double: return {Double, kInt32Field + kDoubleField, nullptr, 0};
    case Boolean: return {Boolean, kInt32Field + kByteField, nullptr, 0};
    case String:
    case OwnedString: {
        const auto *text = static_cast<const char *>(e.value.pointer);
        if (!text) return {OwnedString, kInt32Field, nullptr, 0};  // refused after its tag
        const size_t length = std::strlen(text);
        if (length >= static_cast<size_t>(INT32_MAX)) return {OwnedString, kInt32Field, text, length};
        return {OwnedString, kInt32Field + kInt32Field + length + 1, text, length};
    }
    case Object:
    case OwnedObject: return e.value.pointer ? Shape{OwnedObject, 0, nullptr, 0} : Shape{Null, kInt32Field, nullptr, 0};
    default: return {e.tag, kInt32Field, nullptr, 0};  // Null; pointers and unknown tags, refused after their tag
    }
}

// The size of the entry whose bytes start at `at` among `end` bytes of
// whole entries the encoder wrote: a text's is read from its length field,
// which a text refused after its tag does not have.
size_t staged_size(const unsigned char *at, const unsigned char *end)
{
    const int32_t tag = load_le32(at);
    if (tag != OwnedString || end - at < static_cast<ptrdiff_t>(2 * kInt32Field))
        return shape_of(Element{tag, {.pointer = nullptr}}).size;
    return kInt32Field + kInt32Field + static_cast<size_t>(load_le32(at + kInt32Field)) + 1;
}

// Where an entry's fields go: through the stream's own slots, one call per
// field, or into a buffer reserved for the whole entry (which cannot fail).
class StreamWriter {
public:
    explicit StreamWriter(QuolanObject *stream) : stream_(stream), s_(stream_of(stream)) {}
    int32_t int32(int32_t v) { return s_->WriteInt32(stream_, v); }
    int32_t byte(int32_t b) { return s_->WriteByte(stream_, b); }
    int32_t bytes(const void *data, size_t n)
    {
        const int32_t count = static_cast<int32_t>(n);
        return s_->WriteBytes(stream_, data, count) == count ? StatusOk : StatusFailed;
    }

private:
    QuolanObject *stream_;
    const StreamMethods *s_;
};

class BufferWriter {
public:
    explicit BufferWriter(unsigned char *at) : at_(at) {}
    int32_t int32(int32_t v)
    {
        store_le32(at_, v);
        at_ += kInt32Field;
        return StatusOk;
    }
    int32_t byte(int32_t b)
    {
        *at_++ = static_cast<unsigned char>(b);
        return StatusOk;
    }
    int32_t bytes(const void *data, size_t n)
    {
        std::memcpy(at_, data, n);
        at_ += n;
        return StatusOk;
    }

private:
    unsigned char *at_;
};

// The fields of an entry whose record is ours (every kind but an object),
// in order: the one place the entry layout is written.  A kind the record
// cannot hold is refused once its tag is written.
template <class W>
int32_t write_fields(W &w, const Shape &shape, const Element &e)
{
    int32_t status = w.int32(shape.tag);
    if (status != StatusOk) return status;
    if (shape.tag == Integer) return w.int32(e.value.integer);
    switch (shape.tag) {
    case Null: return StatusOk;
    case Double: return w.bytes(&e.value.real, kDoubleField);
    case OwnedString:
        if (!shape.text) return StatusBadType;  // a borrowed NULL string has nothing to write
        if (shape.length >= static_cast<size_t>(INT32_MAX)) return StatusFailed;
        status = w.int32(static_cast<int32_t>(shape.length));
        if (status != StatusOk) return status;
        return w.bytes(shape.text, shape.length + 1);
    case Boolean: return w.byte(e.value.integer & 0xff);
    default: return StatusBadType;  // pointers and unknown tags
    }
}

// An object entry: its tag, the class identity, then the object's own
// record, all through the stream.
int32_t write_object(QuolanObject *stream, QuolanObject *object, int32_t mode)
{
    int32_t status = stream_of(stream)->WriteInt32(stream, OwnedObject);
    if (status != StatusOk) return status;
    status = registrar_save_quolan_class_type(object, stream);
    if (status != StatusOk) return status;
    return base_of(object)->Save(object, stream, mode);
}

// Every entry through the stream's own slots.
class FieldSink {
public:
    static constexpr bool kWritesRunForeignCode = true;  // the stream may be anybody's
    explicit FieldSink(QuolanObject *stream) : stream_(stream) {}
    template <class Fields>
    int32_t entry(int32_t, size_t, Fields fields)
    {
        StreamWriter w(stream_);
        return fields(w);
    }
    int32_t object(int32_t, QuolanObject *object, int32_t mode) { return write_object(stream_, object, mode); }
    int32_t run(const Element *, int32_t p, int32_t) { return p; }
    // Nothing is held back: the position a failed handover stopped in is none.
    int32_t finish(int32_t *stopped)
    {
        *stopped = -1;
        return StatusOk;
    }

private:
    QuolanObject *stream_;
};

// Whole entries gathered in a buffer and handed to the stream with one
// WriteBytes call per bufferful, for a stream whose record vouches that its
// field slots move the same little-endian bytes.  The buffer starts at an
// entry boundary and holds whole entries of consecutive positions, so a
// handover that the stream takes only in part names the entry it stopped in,
// as the field write that failed would have.  An entry too large for the
// buffer, and an object's, go to the stream field by field once what is
// staged has gone out.
class StagingSink {
public:
    static constexpr bool kWritesRunForeignCode = false;  // the stand-in's stream
    explicit StagingSink(QuolanObject *stream) : stream_(stream) {}

    template <class Fields>
    int32_t entry(int32_t position, size_t size, Fields fields)
    {
        if (size > sizeof bytes_) return direct(fields);
        if (used_ + size > sizeof bytes_ && hand_over() >= 0) return StatusFailed;
        if (used_ == 0) first_ = position;
        BufferWriter w(bytes_ + used_);
        used_ += size;
        return fields(w);
    }
    int32_t object(int32_t, QuolanObject *object, int32_t mode)
    {
        if (hand_over() >= 0) return StatusFailed;
        return write_object(stream_, object, mode);
    }
    // A run of Integer entries from `p` on, the commonest, staged as many as
    // the buffer holds in one loop: each is written by write_fields with its
    // shape known, and nothing runs between them.  Answers where it stopped.
    int32_t run(const Element *entries, int32_t p, int32_t end)
    {
        static constexpr Shape kInteger = {Integer, kInt32Field + kInt32Field, nullptr, 0};
        size_t used = used_;
        if (used == 0) first_ = p;
        for (; p < end && entries[p].tag == Integer && used + kInteger.size <= sizeof bytes_; ++p) {
            BufferWriter w(bytes_ + used);
            write_fields(w, kInteger, entries[p]);
            used += kInteger.size;
        }
        used_ = used;
        return p;
    }
    int32_t finish(int32_t *stopped)
    {
        *stopped = hand_over();
        return *stopped >= 0 ? StatusFailed : StatusOk;
    }

private:
    template <class Fields>
    int32_t direct(Fields fields)
    {
        if (hand_over() >= 0) return StatusFailed;
        StreamWriter w(stream_);
        return fields(w);
    }
    // Hands the buffer over; the position of the entry the stream stopped
    // in, or -1 when it took everything.  A failure seen before stands, and
    // the save ends with it before another entry is begun.
    int32_t hand_over()
    {
        if (failed_at_ >= 0 || used_ == 0) return failed_at_;
        const int32_t taken = stream_of(stream_)->WriteBytes(stream_, bytes_, static_cast<int32_t>(used_));
        if (taken < 0 || static_cast<size_t>(taken) < used_) {
            // The entry holding the first byte the stream did not take.
            const unsigned char *end = bytes_ + used_;
            const unsigned char *took = bytes_ + std::max(taken, 0);
            failed_at_ = first_;
            for (const unsigned char *at = bytes_ + staged_size(bytes_, end); at <= took && at < end;
                 at += staged_size(at, end))
                ++failed_at_;
        }
        used_ = 0;
        return failed_at_;
    }

    static constexpr size_t kBufferSize = 64;  // a few entries per call; small enough for nested frames
    QuolanObject *stream_;
    int32_t first_ = 0;  // position of the first staged entry
    int32_t failed_at_ = -1;
    size_t used_ = 0;
    unsigned char bytes_[kBufferSize];
};

// The one entry encoder, into either sink.
template <class Sink>
int32_t encode_entry(Sink &out, int32_t position, const Element &e, int32_t mode)
{
    const Shape shape = shape_of(e);
    if (shape.tag == OwnedObject) return out.object(position, static_cast<QuolanObject *>(e.value.pointer), mode);
    return out.entry(position, shape.size, [&](auto &w) { return write_fields(w, shape, e); });
}

// Save of an array that reads its size and positions with Array's own
// GetSizes and GetAt, all `count` positions in use: reading one only moves
// the cursor, so the storage is read in place and the cursor left where the
// last read would leave it.
template <class Sink>
int32_t save_in_place(ArrayInstance *a, Sink &out, int32_t count, int32_t mode)
{
    // Foreign code (a nested object's Save; a host stream's every write) may
    // change this array: the storage is read afresh after it, and a position
    // no longer there is answered as its read would be.
    const Element *entries = nullptr;
    int32_t end = 0;
    auto refresh = [&] {
        entries = storage::at(a, 0);
        end = std::min(count, storage::used(a));
    };
    refresh();
    int32_t status = StatusOk;
    int32_t p = 0;
    while (p < count) {
        if (p >= end) {
            status = StatusOutOfRange;
            break;
        }
        p = out.run(entries, p, end);
        if (p >= end) continue;
        const Element e = entries[p];
        status = encode_entry(out, p, e, mode);
        if (status != StatusOk) break;
        ++p;
        if (Sink::kWritesRunForeignCode || family(e.tag) == Object) refresh();
    }
    int32_t stopped = -1;
    const int32_t handed = out.finish(&stopped);
    if (stopped >= 0) {
        p = stopped;
        status = handed;
    } else if (status == StatusOutOfRange) {
        return status;  // the position is gone: the cursor stays where the nested Save left it
    }
    if (count > 0) storage::leave_read(a, p < count ? p : count - 1);
    return status;
}

// Save of any other object: every position read with its own GetAt.
int32_t save_by_table(QuolanObject *self, QuolanObject *stream, int32_t count, int32_t mode)
{
    FieldSink out(stream);
    const ArrayMethods *m = array_of(self);
    for (int32_t p = 0; p < count; ++p) {
        void *value = nullptr;
        int32_t tag = Null;
        int32_t status = m->GetAt(self, &value, &tag, p);
        if (status != StatusOk) return status;
        if (holds_datum(tag) && !value) return StatusBadType;  // a read that handed out no datum
        status = encode_entry(out, p, element_from(value, tag), mode);
        if (status != StatusOk) return status;
    }
    return StatusOk;
}

bool reads_in_place(QuolanObject *self, int32_t count)
{
    if (!keeps_array_slots(self, kReadSlots)) return false;
    ArrayInstance *a = as_array(self);
    if (!a->dimensions) return false;
    const DimensionRecord &rec = storage::record(a);
    return rec.used_count == count && (rec.max_size == 0 || count <= rec.max_size);
}

// ---- Load ----

// The record must be exactly the text and one NUL.
bool well_formed(const char *buffer, int32_t length)
{
    return buffer[length] == '\0' && !std::memchr(buffer, '\0', static_cast<size_t>(length));
}

// Reads `length` bytes and the NUL into `buffer` (room for length + 1).
bool read_text(QuolanObject *stream, char *buffer, int32_t length)
{
    return stream_of(stream)->ReadBytes(stream, buffer, length + 1) == length + 1 && well_formed(buffer, length);
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
    size_t room = std::min(total, chunk);
    char *buffer = static_cast<char *>(mem::alloc(room));
    while (buffer) {
        const size_t want = std::min(total - have, chunk);
        if (have + want > room) {
            const size_t bigger = std::min(std::max(room * 2, have + want), total);
            char *grown = static_cast<char *>(mem::grow(buffer, bigger));
            if (!grown) break;
            buffer = grown;
            room = bigger;
        }
        const int32_t n = static_cast<int32_t>(want);
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
    status = direct ? Array::PutAt(self, text, OwnedString, position)
                    : array_of(self)->PutStringCopyAt(self, text, position);
    mem::release(text);
    return status;
}

// The entry at `position` whose tag has been read.
int32_t load_entry(QuolanObject *self, QuolanObject *stream, int32_t position, bool direct, int32_t tag)
{
    const StreamMethods *s = stream_of(stream);
    const ArrayMethods *m = array_of(self);
    switch (tag) {
    case Null: return StatusOk;  // the position keeps what it holds
    case Integer: {
        const int32_t v = s->ReadInt32(stream);
        if (quolan_stream_status(stream) != StatusOk) return quolan_stream_status(stream);
        if (direct) return put_datum(as_array(self), int_element(Integer, v), position);
        return m->PutIntAt(self, v, position);
    }
    case Double: {
        double v;
        if (s->ReadBytes(stream, &v, sizeof v) != static_cast<int32_t>(sizeof v)) return StatusFailed;
        if (direct) return put_datum(as_array(self), double_element(v), position);
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
        const int32_t v = s->ReadByte(stream) & 0xff;
        if (quolan_stream_status(stream) != StatusOk) return quolan_stream_status(stream);
        if (direct) return put_datum(as_array(self), int_element(Boolean, v), position);
        return m->PutBooleanAt(self, v, position);
    }
    default: return StatusBadType;  // String, Object and pointer tags never appear; nor unknown ones
    }
}

// Reads an Integer entry's value and the next entry's tag with one ReadBytes
// call and stores the value at a position stores_quietly vouched for, where
// that is the field-by-field load exactly:
// the stream moves the same bytes in the same order (its record says so), and
// the store in between can neither fail nor run foreign code.  A stream that
// delivers only part of the eight bytes has consumed what the two reads would
// have, and the value is stored if it arrived whole, as it would have been.
// Answers StatusOk with the next tag, or the status that ends the load.
int32_t load_integer_and_tag(ArrayInstance *a, QuolanObject *stream, int32_t position, int32_t *next_tag)
{
    unsigned char raw[2 * kInt32Field];
    const int32_t got = stream_of(stream)->ReadBytes(stream, raw, sizeof raw);
    if (got >= static_cast<int32_t>(kInt32Field)) storage::store_quietly(a, position, int_element(Integer, load_le32(raw)));
    if (got < static_cast<int32_t>(sizeof raw)) {
        const int32_t status = quolan_stream_status(stream);
        return status != StatusOk ? status : StatusFailed;
    }
    *next_tag = load_le32(raw + kInt32Field);
    return StatusOk;
}

}  // namespace

int32_t Array::Save(QuolanObject *self, QuolanObject *stream, int32_t mode)
{
    if (!stream || mode == 1) return StatusFailed;
    NestingGuard guard;
    if (!guard.ok()) return StatusFailed;
    QC_CHECK_STORAGE_ON_RETURN(self);

    const int32_t count = array_of(self)->GetSizes(self, nullptr, nullptr);
    if (count < 0) return count;
    int32_t status = stream_of(stream)->WriteInt32(stream, count);
    if (status != StatusOk) return status;
    if (!reads_in_place(self, count)) return save_by_table(self, stream, count, mode);
    if (moves_little_endian_fields(stream)) {
        StagingSink out(stream);
        return save_in_place(as_array(self), out, count, mode);
    }
    FieldSink out(stream);
    return save_in_place(as_array(self), out, count, mode);
}

int32_t Array::Load(QuolanObject *self, QuolanObject *stream, int32_t mode)
{
    if (!stream || mode != 0) return StatusFailed;
    NestingGuard guard;
    if (!guard.ok()) return StatusFailed;
    QC_CHECK_STORAGE_ON_RETURN(self);

    const StreamMethods *s = stream_of(stream);
    const int32_t count = s->ReadInt32(stream);
    if (quolan_stream_status(stream) != StatusOk) return quolan_stream_status(stream);
    const bool direct = keeps_array_slots(self, kLoadPutSlots);
    const bool fused = direct && moves_little_endian_fields(stream);
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
        int32_t status;
        if (fused && tag == Integer && i + 1 < count && storage::stores_quietly(a, i)) {
            status = load_integer_and_tag(a, stream, i, &tag);
            have_tag = true;
        } else {
            status = load_entry(self, stream, i, direct, tag);
        }
        if (status != StatusOk) return status;
    }
    return StatusOk;
}

}  // namespace qc

// Stream records, byte for byte, of every loadable class; what Save and Load
// refuse; hostile bytes, every answer a status, nothing read past a buffer or
// leaked, the object usable after.  Round trips are the model's (tests/model).
#include <chrono>

#include "support.h"

using namespace qt;

namespace {

// One sample of each loadable class: how to fill it, and its exact record.
struct Sample { QuolanObject *(*init)(); void (*fill)(QuolanObject *); ByteVec record; };
const Sample kSamples[] = {
    {array_baseclass_init,
     [](QuolanObject *a) {
         QuolanObject *inner = new_array().release();
         A(inner)->PutIntAt(inner, -1, 0);
         A(a)->PutIntAt(a, 7, -2);
         A(a)->PutStringCopyAt(a, "abc", -2);
         A(a)->PutAt(a, nullptr, Null, -2);
         A(a)->PutObjectAt(a, nullptr, -2);  // no object: an empty position
         A(a)->PutBooleanAt(a, 256, -2);  // only the low byte is kept
         A(a)->PutStringAt(a, "", -2);     // borrowed: written as owned
         A(a)->PutObjectCopyAt(a, inner, -2);
         A(a)->PutDoubleAt(a, -0.25, -2);  // last, so a record cut inside it ends there
     },
     Bytes().i32(8).i32(1).i32(7).i32(4).str("abc").i32(0).i32(0).i32(9).byte(0).i32(4).str("").i32(6).name("Array")
         .i32(1).i32(1).i32(-1).i32(2).f64(-0.25).v},
    // "a" -> 1, a free position where "b" was, borrowed "c" -> "v", a keyless Boolean.
    {dict_baseclass_init,
     [](QuolanObject *d) {
         D(d)->PutIntStringKey(d, 1, "a");
         D(d)->PutIntStringKey(d, 2, "b");
         D(d)->PutKey(d, K("v"), String, K("c"), String);
         D(d)->ClearKey(d, K("b"), String);
         A(d)->PutBooleanAt(d, 1, 3);
     },
     Bytes().i32(3).i32(4).str("a").i32(0).i32(4).str("c").i32(4).i32(1).i32(1).i32(0).i32(4).str("v").i32(9)
         .byte(1).v},
    {array_typedclass_init,
     [](QuolanObject *a) { TA(a)->PutIntAt(a, 7, 0); TA(a)->SetSlotType(a, "Double", 1); TA(a)->SetLock(a, 0x102); },
     Bytes().i32(2).i32(4).str("Integer").i32(4).str("Double").i32(1).i32(1).i32(7).byte(2).i32(0).v},
    {dict_typedclass_init,
     [](QuolanObject *d) { TD(d)->PutIntStringKey(d, 5, "n"); TD(d)->SetAccess(d, -1); },
     Bytes().i32(1).i32(4).str("Integer").i32(1).i32(4).str("n").i32(1).i32(1).i32(5).byte(0).i32(-1).v},
    {genset_baseclass_init,
     [](QuolanObject *s) {
         G(s)->AddString(s, "a");
         G(s)->AddInt32(s, 5);
         G(s)->AddString(s, "b");
         G(s)->ClearElement(s, K("a"), String);
     },
     Bytes().i32(3).i32(0).i32(1).i32(5).i32(4).str("b").v},
};

int32_t load_fresh(const ByteVec &bytes)
{
    Obj a = new_array();
    int32_t status = load(a.get(), bytes);
    EXPECT_EQ(A(a.get())->PutIntAt(a.get(), 1, -2), 0) << "still usable";
    return status;
}

}  // namespace

TEST(Records, EachClassWritesItsExactRecordAndReadsItBack)
{
    for (const Sample &s : kSamples) {
        Obj original = make(s.init()), back = make(s.init());
        SCOPED_TRACE(s.init()->size);
        s.fill(original.get());
        EXPECT_EQ(saved(original.get()), s.record);
        ASSERT_EQ(load(back.get(), s.record), 0);
        EXPECT_EQ(saved(back.get()), s.record) << "positions and free holes come back";
        int32_t status = 0;
        EXPECT_TRUE(saved(original.get(), &status, 1).empty() && status == StatusFailed) << "mode 1 writes nothing";
        EXPECT_EQ(load(make(s.init()).get(), s.record, 1), StatusFailed);
        EXPECT_EQ(B(back.get())->Save(back.get(), nullptr, 0) + B(back.get())->Load(back.get(), nullptr, 0),
                  2 * StatusFailed);
        // Every strict prefix is refused (and leaves nothing half-built behind);
        // every short write fails.
        for (size_t n = 0; n < s.record.size(); ++n) {
            EXPECT_NE(load(make(s.init()).get(), ByteVec(s.record.begin(), s.record.begin() + long(n))), 0) << n;
            Obj out(quolan_memory_stream_new());
            quolan_memory_stream_set_write_limit(out.get(), n);
            EXPECT_NE(B(original.get())->Save(original.get(), out.get(), 0), 0) << "short write at " << n;
        }
    }
    Obj sized = new_array();
    A(sized.get())->SetSizes(sized.get(), 4, 10);
    EXPECT_EQ(saved(sized.get()), Bytes().i32(4).i32(0).i32(0).i32(0).i32(0).v) << "the initial size counts";
}

// A kind that cannot be stored is refused after its tag (a borrowed text's is
// the owned tag) is written; what was written stays in the stream.
TEST(Records, UnstorableKindsAreRefusedAfterTheirTag)
{
    int x = 0;
    Obj a = new_array();
    A(a.get())->PutIntAt(a.get(), 1, 0);
    const int32_t cases[][2] = {{Pointer, Pointer}, {String, OwnedString}, {10, 10}};  // put, then written
    for (const auto &c : cases) {
        A(a.get())->PutAt(a.get(), c[0] == String ? nullptr : &x, c[0], 1);
        int32_t status = 0;
        EXPECT_EQ(saved(a.get(), &status), Bytes().i32(2).i32(1).i32(1).i32(c[1]).v) << c[0];
        EXPECT_EQ(status, StatusBadType) << c[0];
    }
}

TEST(Records, LoadPutsOverWhatIsThereThroughTheObjectsOwnPuts)
{
    Obj b = new_array();
    for (int i = 0; i < 3; ++i) A(b.get())->PutIntAt(b.get(), 100 + i, -2);
    ASSERT_EQ(load(b.get(), Bytes().i32(2).i32(0).i32(1).i32(5).v), 0);
    EXPECT_EQ(get(b.get(), 0).integer(), 100) << "a Null entry leaves the position alone";
    EXPECT_EQ(get(b.get(), 1).integer(), 5);
    EXPECT_EQ(load(b.get(), Bytes().i32(-7).v), 0);
    ASSERT_EQ(load(b.get(), Bytes().i32(1).i32(9).byte(0xff).v), 0);
    EXPECT_EQ(get(b.get(), 0).integer(), 255) << "the Boolean byte is zero-extended";

    Obj bounded = new_array();
    A(bounded.get())->SetSizes(bounded.get(), 0, 1);
    EXPECT_EQ(load(bounded.get(), Bytes().i32(2).i32(4).str("kept").i32(6).name("Array").i32(0).v),
              StatusOutOfRange) << "the refused object is deleted, not leaked";

    Obj t = make(array_typedclass_init());
    ASSERT_EQ(load(t.get(), Bytes().i32(1).i32(4).str("Double").i32(2).i32(1).i32(5).i32(9).byte(1).byte(1).i32(1).v),
              0);
    EXPECT_EQ(load(t.get(), Bytes().i32(0).i32(1).i32(1).i32(5).v), StatusLocked) << "the loaded access applies";
    Obj c = make(array_typedclass_init());
    EXPECT_EQ(load(c.get(), Bytes().i32(1).i32(1).i32(9).i32(1).i32(1).i32(5).v), StatusBadType)
        << "a type entry that is not text admits nothing";
}

TEST(Records, MalformedEntriesAreRefused)
{
    for (int32_t tag : {3, 5, 7, 8, 10, 255, -1, INT32_MIN})
        EXPECT_EQ(load_fresh(Bytes().i32(1).i32(tag).i32(0).i32(0).v), StatusBadType) << tag;
    const ByteVec failed[] = {
        Bytes().i32(1).i32(4).i32(-1).byte(0).v,              // negative length
        Bytes().i32(1).i32(4).i32(3).raw("abcd", 4).v,        // last byte not NUL
        Bytes().i32(1).i32(4).i32(3).raw("a\0c", 4).v,        // NUL inside the text
        Bytes().i32(1).i32(4).i32(INT32_MAX).raw("ab", 3).v,  // length + 1 overflows
        Bytes().i32(1).i32(6).name("NoSuchClass").i32(0).v,   // unknown class
        Bytes().i32(1).i32(6).i32(-5).v,                      // bad class name length
        Bytes().i32(1).i32(6).i32(1000).raw("Array", 5).v,    // name cut short
    };
    for (const ByteVec &bytes : failed) EXPECT_EQ(load_fresh(bytes), StatusFailed);
    EXPECT_NE(load_fresh(Bytes().i32(1).i32(6).name("Array").i32(1).i32(4).i32(5).v), 0) << "bad nested record";

    auto start = std::chrono::steady_clock::now();
    EXPECT_NE(load_fresh(Bytes().i32(INT32_MAX).i32(1).i32(5).v), 0);
    EXPECT_NE(load_fresh(Bytes().i32(1).i32(4).i32(2000000000).raw("xyz", 3).v), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "claims cost only what is there";
}

// Past 1,000 levels every recursive operation refuses instead of exhausting
// the stack; a container holding itself is cut off the same way.
TEST(Records, NestingPastTheLimitIsRefusedByEveryOperation)
{
    for (int levels : {100, 5000}) {
        Bytes deep;
        for (int i = 0; i < levels; ++i) deep.i32(1).i32(6).name("Array");
        deep.i32(0);
        EXPECT_EQ(load_fresh(deep.v), levels > 1000 ? StatusFailed : 0) << levels;
    }
    Obj outer = new_array(), twin = new_array();
    for (QuolanObject *level : {outer.get(), twin.get()})
        for (int i = 0; i < 1100; ++i) {
            QuolanObject *next = new_array().release();
            A(level)->PutObjectCopyAt(level, next, 0);
            level = next;
        }
    int32_t status = 0;
    saved(outer.get(), &status);
    EXPECT_EQ(status, StatusFailed);
    EXPECT_EQ(B(outer.get())->Copy(array_baseclass, outer.get()), nullptr);
    EXPECT_EQ(B(outer.get())->IsEqual(outer.get(), twin.get()), 0) << "equal, but deeper than the limit";

    Obj self = new_array();
    A(self.get())->PutObjectAt(self.get(), self.get(), 0);  // borrowed: holds itself
    saved(self.get(), &status);
    EXPECT_EQ(status, StatusFailed);
    EXPECT_EQ(B(self.get())->IsEqual(self.get(), self.get()), 0);
    Obj copy(B(self.get())->Copy(array_baseclass, self.get()));
    ASSERT_NE(copy, nullptr) << "borrowed objects are shared, not copied";
    EXPECT_EQ(get(copy.get(), 0).value, self.get());

    Obj holder = new_array();  // a set nested in an array cannot be copied
    A(holder.get())->PutObjectCopyAt(holder.get(), make(genset_baseclass_init()).release(), 0);
    EXPECT_EQ(B(holder.get())->Copy(array_baseclass, holder.get()), nullptr);
}

namespace {

// A host's own stream class, not the stand-in's: int32 fields big-endian (or
// little-endian), every call counted by slot, and any one call of any slot
// made to fail as a host stream fails: a write slot answers its own code
// (WriteBytes writes half), a read marks the status word, for good.
struct HostStream {
    QuolanObject header;
    int32_t status = 0;  // offset 24, where the containers read it
    bool big_endian = true;
    ByteVec bytes;
    size_t read_at = 0;
    int32_t calls[StreamSlot_Count] = {};
    int32_t fail_slot = -1, fail_call = -1;

    static constexpr int32_t kWriteInt32Failed = -9, kWriteByteFailed = -8, kReadFailed = -7;
    static HostStream &of(QuolanObject *o) { return *reinterpret_cast<HostStream *>(o); }
    bool fails(int32_t slot) { return calls[slot]++ == fail_call && slot == fail_slot; }
    uint32_t ordered(uint32_t v) const { return big_endian ? __builtin_bswap32(v) : v; }
    // Appends `n` bytes, or `short_n` when this call fails.
    bool write(int32_t slot, const void *p, size_t n, size_t short_n = 0)
    {
        const bool ok = !fails(slot);
        const auto *from = static_cast<const unsigned char *>(p);
        bytes.insert(bytes.end(), from, from + (ok ? n : short_n));
        return ok;
    }
    bool read(int32_t slot, void *out, size_t n)
    {
        if (fails(slot) || status != 0 || bytes.size() - read_at < n) {
            status = kReadFailed;
            return false;
        }
        std::memcpy(out, bytes.data() + read_at, n);
        read_at += n;
        return true;
    }

    static QuolanObject *cls()
    {
        static QuolanObject *c = subclass_with<StreamMethods>(quolan_class, [](StreamMethods &t) {
            t.WriteInt32 = [](QuolanObject *s, int32_t v) -> int32_t {
                const uint32_t bits = of(s).ordered(static_cast<uint32_t>(v));
                return of(s).write(StreamSlot_WriteInt32, &bits, 4) ? 0 : kWriteInt32Failed;
            };
            t.WriteByte = [](QuolanObject *s, int32_t v) -> int32_t {
                const unsigned char b = static_cast<unsigned char>(v);
                return of(s).write(StreamSlot_WriteByte, &b, 1) ? 0 : kWriteByteFailed;
            };
            t.WriteBytes = [](QuolanObject *s, const void *p, int32_t n) -> int32_t {
                return of(s).write(StreamSlot_WriteBytes, p, size_t(n), size_t(n / 2)) ? n : n / 2;
            };
            t.ReadInt32 = [](QuolanObject *s) -> int32_t {
                uint32_t bits = 0;
                return of(s).read(StreamSlot_ReadInt32, &bits, 4) ? static_cast<int32_t>(of(s).ordered(bits)) : 0;
            };
            t.ReadByte = [](QuolanObject *s) -> int32_t {
                unsigned char b = 0;
                return of(s).read(StreamSlot_ReadByte, &b, 1) ? b : 0;
            };
            t.ReadBytes = [](QuolanObject *s, void *p, int32_t n) -> int32_t {
                return of(s).read(StreamSlot_ReadBytes, p, size_t(n)) ? n : 0;
            };
        });
        return c;
    }
    HostStream() : header{sizeof(HostStream), cls()->class_word, cls()->methods} {}
    QuolanObject *stream() { return &header; }
    void rewind(int32_t slot = -1, int32_t call = -1)
    {
        status = 0;
        read_at = 0;
        fail_slot = slot;
        fail_call = call;
        std::fill(std::begin(calls), std::end(calls), 0);
    }
};
static_assert(offsetof(HostStream, status) == 24);

constexpr int32_t kWriteSlots[] = {StreamSlot_WriteInt32, StreamSlot_WriteByte, StreamSlot_WriteBytes};
constexpr int32_t kReadSlots[] = {StreamSlot_ReadInt32, StreamSlot_ReadByte, StreamSlot_ReadBytes};

}  // namespace

// One call per field, through the stream's own slots: a host stream, or a
// class derived from the stand-in's that overrides one slot, is never handed
// several fields in one call.
TEST(HostStreams, EachFieldIsOneCallOfItsOwnSlot)
{
    Obj a = new_array();
    for (int i = 0; i < 40; ++i) A(a.get())->PutIntAt(a.get(), i, -2);
    A(a.get())->PutBooleanAt(a.get(), 1, -2);
    HostStream host;
    ASSERT_EQ(B(a.get())->Save(a.get(), host.stream(), 0), 0);
    host.read_at = 0;  // the write counts stay
    Obj back = new_array();
    ASSERT_EQ(B(back.get())->Load(back.get(), host.stream(), 0), 0);
    // The count, then a tag and a value per Integer; a tag and a byte for the Boolean.
    for (const int32_t *slots : {kWriteSlots, kReadSlots})
        EXPECT_EQ(std::vector<int32_t>({host.calls[slots[0]], host.calls[slots[1]], host.calls[slots[2]]}),
                  std::vector<int32_t>({82, 1, 0}));

    // The stand-in's own class with one slot counted on its way through.
    static int32_t counted = 0;
    static StreamMethods stand_in;
    Obj prototype(quolan_memory_stream_new());
    stand_in = *quolan_stream_methods(prototype.get());
    QuolanObject *derived = subclass_with<StreamMethods>(prototype.get(), [](StreamMethods &t) {
        t.WriteInt32 = [](QuolanObject *s, int32_t v) { return ++counted, stand_in.WriteInt32(s, v); };
        t.ReadInt32 = [](QuolanObject *s) { return ++counted, stand_in.ReadInt32(s); };
    });
    Obj stream = make(derived), again = new_array();
    ASSERT_EQ(B(a.get())->Save(a.get(), stream.get(), 0), 0);
    ASSERT_EQ(B(again.get())->Load(again.get(), stream.get(), 0), 0);
    EXPECT_EQ(counted, 2 * 82);
    EXPECT_EQ(saved(again.get()), saved(a.get()));
}

// A host stream of either byte order carries every loadable class there and
// back, the record the same but for the order of its int32 fields.  Any one
// call of any slot failing: Save answers the slot's own code (a short
// WriteBytes: StatusFailed), Load a failure, nothing leaks, and the object
// stays usable.
TEST(HostStreams, EitherByteOrderRoundTripsAndAFailureOfAnySlotAtAnyCallIsAnswered)
{
    for (bool big_endian : {true, false})
        for (const Sample &s : kSamples) {
            SCOPED_TRACE(testing::Message() << s.init()->size << (big_endian ? " big-endian" : ""));
            Obj original = make(s.init()), reloaded = make(s.init());
            s.fill(original.get());
            HostStream clean;
            clean.big_endian = big_endian;
            ASSERT_EQ(B(original.get())->Save(original.get(), clean.stream(), 0), 0);
            EXPECT_EQ(clean.bytes.size(), s.record.size());
            EXPECT_EQ(clean.bytes == s.record, !big_endian);
            const HostStream counts = clean;
            clean.rewind();
            ASSERT_EQ(B(reloaded.get())->Load(reloaded.get(), clean.stream(), 0), 0);
            EXPECT_EQ(clean.read_at, clean.bytes.size());
            EXPECT_EQ(saved(reloaded.get()), s.record);
            for (int32_t slot : kWriteSlots)
                for (int32_t call = 0; call < counts.calls[slot]; ++call) {
                    HostStream host;
                    host.rewind(slot, call);
                    const int32_t want = slot == StreamSlot_WriteInt32  ? HostStream::kWriteInt32Failed
                                         : slot == StreamSlot_WriteByte ? HostStream::kWriteByteFailed
                                                                        : StatusFailed;
                    EXPECT_EQ(B(original.get())->Save(original.get(), host.stream(), 0), want) << slot << " " << call;
                }
            for (int32_t slot : kReadSlots)
                for (int32_t call = 0; call < clean.calls[slot]; ++call) {
                    HostStream host = counts;
                    host.rewind(slot, call);
                    Obj back = make(s.init());
                    const int32_t status = B(back.get())->Load(back.get(), host.stream(), 0);
                    EXPECT_TRUE(status == HostStream::kReadFailed || status == StatusFailed) << slot << " " << call;
                    saved(back.get());  // still whole enough to write itself
                }
        }
}

// Stream records, byte for byte, of every loadable class; what Save and Load
// refuse; and hostile bytes, every answer a status, nothing read past a
// buffer, nothing leaked, the object usable after.  Round trips of every
// kind of element are held against the model (tests/model).
#include <chrono>

#include "typed_support.h"

using namespace qt;

namespace {

// One sample of each loadable class, its exact record, and a maker of an
// empty object to load it into.
struct Sample {
    const char *name;
    Obj (*make)();
    Obj (*empty)();
    ByteVec record;
};

Obj array_sample()
{
    Obj a = new_array(), inner = new_array();
    A(inner.get())->PutIntAt(inner.get(), -1, 0);
    auto *m = A(a.get());
    m->PutIntAt(a.get(), 7, -2);
    m->PutStringCopyAt(a.get(), "abc", -2);
    m->PutAt(a.get(), nullptr, Null, -2);
    m->PutObjectAt(a.get(), nullptr, -2);  // no object: an empty position
    m->PutDoubleAt(a.get(), -0.25, -2);
    m->PutBooleanAt(a.get(), 256, -2);  // only the low byte is kept
    m->PutStringAt(a.get(), "", -2);     // borrowed: written as owned
    m->PutObjectCopyAt(a.get(), inner.release(), -2);
    return a;
}

// "a" -> 1, a free position where "b" was, borrowed "c" -> borrowed "v",
// and a Boolean put by position only.
Obj dict_sample()
{
    Obj d = new_dict();
    D(d.get())->PutIntStringKey(d.get(), 1, "a");
    D(d.get())->PutIntStringKey(d.get(), 2, "b");
    D(d.get())->PutKey(d.get(), K("v"), String, K("c"), String);
    D(d.get())->ClearKey(d.get(), K("b"), String);
    A(d.get())->PutBooleanAt(d.get(), 1, 3);
    return d;
}

Obj typed_array_sample()
{
    Obj a = new_typed_array();
    TA(a.get())->PutIntAt(a.get(), 7, 0);
    TA(a.get())->SetSlotType(a.get(), "Double", 1);
    TA(a.get())->SetLock(a.get(), 0x102);
    return a;
}

Obj typed_dict_sample()
{
    Obj d = new_typed_dict();
    TD(d.get())->PutIntStringKey(d.get(), 5, "n");
    TD(d.get())->SetAccess(d.get(), -1);
    return d;
}

Obj set_sample()
{
    Obj s = new_set();
    G(s.get())->AddString(s.get(), "a");
    G(s.get())->AddInt32(s.get(), 5);
    G(s.get())->AddString(s.get(), "b");
    G(s.get())->ClearElement(s.get(), K("a"), String);
    return s;
}

const Sample kSamples[] = {
    {"Array", array_sample, new_array,
     Bytes().i32(8).i32(1).i32(7).i32(4).str("abc").i32(0).i32(0).i32(2).f64(-0.25).i32(9).byte(0).i32(4).str("")
         .i32(6).name("Array").i32(1).i32(1).i32(-1).v},
    {"Dict", dict_sample, new_dict,
     Bytes().i32(3).i32(4).str("a").i32(0).i32(4).str("c").i32(4).i32(1).i32(1).i32(0).i32(4).str("v").i32(9).byte(1).v},
    {"ArrayTyped", typed_array_sample, new_typed_array,
     Bytes().i32(2).i32(4).str("Integer").i32(4).str("Double").i32(1).i32(1).i32(7).byte(2).i32(0).v},
    {"DictTyped", typed_dict_sample, new_typed_dict,
     Bytes().i32(1).i32(4).str("Integer").i32(1).i32(4).str("n").i32(1).i32(1).i32(5).byte(0).i32(-1).v},
    {"GenSet", set_sample, new_set, Bytes().i32(3).i32(0).i32(1).i32(5).i32(4).str("b").v},
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
        SCOPED_TRACE(s.name);
        Obj original = s.make(), back = s.empty();
        EXPECT_EQ(saved(original.get()), s.record);
        ASSERT_EQ(load(back.get(), s.record), 0);
        EXPECT_EQ(saved(back.get()), s.record) << "positions and free holes come back";
        int32_t status = 0;
        EXPECT_TRUE(saved(original.get(), &status, 1).empty()) << "mode 1 writes nothing";
        EXPECT_EQ(status, StatusFailed);
        EXPECT_EQ(load(s.empty().get(), s.record, 1), StatusFailed);
        EXPECT_EQ(B(back.get())->Save(back.get(), nullptr, 0), StatusFailed);
        EXPECT_EQ(B(back.get())->Load(back.get(), nullptr, 0), StatusFailed);
        expect_every_cut_refused(s.record, s.empty);
        for (size_t limit = 0; limit < s.record.size(); ++limit) {
            Obj out(quolan_memory_stream_new());
            quolan_memory_stream_set_write_limit(out.get(), limit);
            EXPECT_NE(B(original.get())->Save(original.get(), out.get(), 0), 0) << "short write at " << limit;
        }
    }
    Obj sized = new_array();
    A(sized.get())->SetSizes(sized.get(), 4, 10);
    EXPECT_EQ(saved(sized.get()), Bytes().i32(4).i32(0).i32(0).i32(0).i32(0).v) << "the initial size counts";
}

TEST(Records, UnstorableKindsAreRefusedAfterTheirTag)
{
    int x = 0;
    int32_t status = 0;
    Obj a = new_array();
    A(a.get())->PutIntAt(a.get(), 1, 0);
    A(a.get())->PutPtrAt(a.get(), &x, 1);
    EXPECT_EQ(saved(a.get(), &status), Bytes().i32(2).i32(1).i32(1).i32(7).v);
    EXPECT_EQ(status, StatusBadType);
    for (int32_t tag : {int32_t{String}, 10}) {
        A(a.get())->PutAt(a.get(), tag == String ? nullptr : &x, tag, 1);
        saved(a.get(), &status);
        EXPECT_EQ(status, StatusBadType) << tag;
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
    EXPECT_EQ(load(bounded.get(), Bytes().i32(2).i32(4).str("kept").i32(6).name("Array").i32(0).v), StatusOutOfRange)
        << "the refused object is deleted, not leaked";

    Obj t = new_typed_array();
    ASSERT_EQ(load(t.get(), Bytes().i32(1).i32(4).str("Double").i32(2).i32(1).i32(5).i32(9).byte(1).byte(1).i32(1).v), 0);
    EXPECT_EQ(get(t.get(), 0).tag, Double) << "an Integer typed Double loads as a Double";
    EXPECT_EQ(type_at(t.get(), 1), "Boolean") << "untyped positions are bound";
    EXPECT_EQ(load(t.get(), Bytes().i32(0).i32(1).i32(1).i32(5).v), StatusLocked) << "the loaded access applies";
    Obj c = new_typed_array();
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
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 2000)
        << "huge claims cost only what the input holds";
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
    A(holder.get())->PutObjectCopyAt(holder.get(), set_sample().release(), 0);
    EXPECT_EQ(B(holder.get())->Copy(array_baseclass, holder.get()), nullptr);
}

// Stream records of ArrayTyped and DictTyped: exact bytes, round trips,
// copies, loads that pass through the type checks, and truncated records.
#include "typed_support.h"

using namespace qt;

namespace {

// Samples that exercise every part of each record, nested typed containers
// included; both end locked (low byte 2) and read-only.
Obj sample_typed_array()
{
    Obj a = new_typed_array(), inner = new_typed_dict();
    auto *m = TA(a.get());
    m->PutIntAt(a.get(), 7, 0);
    m->PutStringCopyAt(a.get(), "abc", 1);
    m->SetSlotType(a.get(), "Double", 2);
    m->PutBooleanAt(a.get(), 1, 3);
    TD(inner.get())->PutIntStringKey(inner.get(), 3, "k");
    m->PutObjectCopyAt(a.get(), inner.release(), 4);
    m->SetAccess(a.get(), ReadOnly);
    m->SetLock(a.get(), 0x102);
    return a;
}

Obj sample_typed_dict()
{
    Obj d = new_typed_dict(), inner = new_typed_array();
    auto *m = TD(d.get());
    m->PutIntStringKey(d.get(), 5, "n");
    m->PutIntStringKey(d.get(), 6, "gone");
    m->ClearKey(d.get(), const_cast<char *>("gone"), String);
    m->PutStringKey(d.get(), const_cast<char *>("v"), String, "s");
    TA(inner.get())->PutDoubleAt(inner.get(), 2.5, 0);
    m->PutStringKey(d.get(), inner.release(), OwnedObject, "o");
    m->SetAccess(d.get(), 9);
    m->SetLock(d.get(), 2);
    return d;
}

struct Sample {
    Obj (*make_sample)();
    Obj (*make_empty)();
} const kSamples[] = {{sample_typed_array, new_typed_array}, {sample_typed_dict, new_typed_dict}};

}  // namespace

TEST(TypedStream, RecordsHoldTypesParentRecordLockByteAndAccess)
{
    Obj a = new_typed_array();
    TA(a.get())->PutIntAt(a.get(), 7, 0);
    TA(a.get())->SetSlotType(a.get(), "Double", 1);
    TA(a.get())->SetLock(a.get(), 0x102);
    Bytes array;
    array.i32(2).i32(4).str("Integer").i32(4).str("Double").i32(1).i32(1).i32(7).byte(2).i32(0);
    EXPECT_EQ(saved(a.get()), array.v);

    Obj d = new_typed_dict();
    TD(d.get())->PutIntStringKey(d.get(), 5, "n");
    TD(d.get())->SetAccess(d.get(), -1);
    Bytes dict;
    dict.i32(1).i32(4).str("Integer").i32(1).i32(4).str("n").i32(1).i32(1).i32(5).byte(0).i32(-1);
    EXPECT_EQ(saved(d.get()), dict.v);
}

TEST(TypedStream, RoundTripsGiveBackTheSameRecord)
{
    for (const Sample &s : kSamples) {
        Obj original = s.make_sample(), loaded = s.make_empty();
        ByteVec record = saved(original.get());
        ASSERT_EQ(load(loaded.get(), record), 0);
        EXPECT_EQ(saved(loaded.get()), record);
        EXPECT_EQ(typed_fields(loaded.get()).lock, 2);
        EXPECT_NE(typed_fields(loaded.get()).access, 0);
        int32_t status = 0;
        EXPECT_TRUE(saved(original.get(), &status, 1).empty()) << "mode 1 writes nothing";
        EXPECT_EQ(status, StatusFailed);
        EXPECT_EQ(load(s.make_empty().get(), record, 1), StatusFailed);
    }
}

TEST(TypedStream, CopiesRecordAsTheirSourcesButUnlockedAndReadWrite)
{
    for (const Sample &s : kSamples) {
        Obj original = s.make_sample();
        Obj copy(B(original.get())->Copy(nullptr, original.get()));
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->methods, original->methods);
        ByteVec expected = saved(original.get());
        std::fill(expected.end() - 5, expected.end(), 0);  // lock byte and access
        EXPECT_EQ(saved(copy.get()), expected);
        Obj plain = new_dict();  // too small for either typed class
        EXPECT_EQ(B(original.get())->Copy(nullptr, plain.get()), nullptr);
    }
}

TEST(TypedStream, LoadedElementsPassThroughTheChecksBeforeLockAndAccess)
{
    Obj a = new_typed_array();
    ASSERT_EQ(load(a.get(), Bytes().i32(1).i32(4).str("Double").i32(2).i32(1).i32(5).i32(9).byte(1).byte(1).i32(1).v),
              0);
    EXPECT_EQ(get(a.get(), 0).tag, Double) << "an Integer typed Double loads as a Double";
    EXPECT_EQ(type_at(a.get(), 1), "Boolean") << "untyped positions are bound";
    EXPECT_EQ(TA(a.get())->PutIntAt(a.get(), 6, 0), StatusLocked) << "the loaded access applies now";
    EXPECT_EQ(load(a.get(), Bytes().i32(0).i32(1).i32(1).i32(5).v), StatusLocked) << "and to the next load";

    Obj b = new_typed_array();
    EXPECT_EQ(load(b.get(), Bytes().i32(1).i32(4).str("String").i32(1).i32(1).i32(5).v), StatusBadType);
    Obj c = new_typed_array();
    EXPECT_EQ(load(c.get(), Bytes().i32(1).i32(1).i32(9).i32(1).i32(1).i32(5).v), StatusBadType)
        << "a type entry that is not text admits nothing";
    Obj d = new_typed_dict();
    ASSERT_EQ(load(d.get(), Bytes().i32(0).i32(1).i32(4).str("a").i32(1).i32(1).i32(3).byte(0xff).i32(0).v), 0);
    EXPECT_EQ(type_at(d.get(), 0), "Integer") << "bound through the key loaded first";
    EXPECT_EQ(typed_fields(d.get()).lock, 255) << "the lock byte is zero-extended";
}

TEST(TypedStream, TruncatedRecordsAreRefused)
{
    for (const Sample &s : kSamples) expect_every_cut_refused(saved(s.make_sample().get()), s.make_empty);
}

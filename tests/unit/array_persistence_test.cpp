// Array Save and Load: exact records, round trips, refusals.
#include "support.h"

using namespace qt;

TEST(ArraySave, EveryStorableKindHasItsExactRecord)
{
    Obj a = new_array();
    EXPECT_EQ(saved(a.get()), Bytes().i32(0).v);
    auto *m = A(a.get());
    Obj inner = new_array();
    A(inner.get())->PutIntAt(inner.get(), -1, 0);
    m->PutIntAt(a.get(), 7, -2);
    m->PutStringCopyAt(a.get(), "abc", -2);
    m->PutAt(a.get(), nullptr, Null, -2);
    m->PutDoubleAt(a.get(), -0.25, -2);
    m->PutBooleanAt(a.get(), 256, -2);  // only the low byte is kept
    m->PutBooleanAt(a.get(), 1, -2);
    m->PutStringAt(a.get(), "", -2);  // borrowed: written as owned
    m->PutObjectAt(a.get(), inner.get(), -2);
    m->PutObjectAt(a.get(), nullptr, -2);  // no object: an empty position
    Bytes expected;
    expected.i32(9).i32(1).i32(7).i32(4).str("abc").i32(0).i32(2).f64(-0.25);
    expected.i32(9).byte(0).i32(9).byte(1).i32(4).str("");
    expected.i32(6).name("Array").i32(1).i32(1).i32(-1).i32(0);
    EXPECT_EQ(saved(a.get()), expected.v);

    Obj sized = new_array();
    A(sized.get())->SetSizes(sized.get(), 4, 10);
    EXPECT_EQ(saved(sized.get()), Bytes().i32(4).i32(0).i32(0).i32(0).i32(0).v) << "the initial size counts";
}

TEST(ArraySave, UnstorableKindsModeOneAndMissingStreamsAreRefused)
{
    int x = 0;
    int32_t status = 0;
    Obj a = new_array();
    A(a.get())->PutIntAt(a.get(), 1, 0);
    A(a.get())->PutPtrAt(a.get(), &x, 1);
    EXPECT_EQ(saved(a.get(), &status), Bytes().i32(2).i32(1).i32(1).i32(7).v) << "the tag is already out";
    EXPECT_EQ(status, StatusBadType);
    for (int32_t tag : {int32_t{String}, 10}) {
        A(a.get())->PutAt(a.get(), tag == String ? nullptr : &x, tag, 1);
        saved(a.get(), &status);
        EXPECT_EQ(status, StatusBadType) << tag;
    }
    EXPECT_TRUE(saved(a.get(), &status, 1).empty());
    EXPECT_EQ(status, StatusFailed);
    for (int32_t mode : {1, 2}) EXPECT_EQ(load(a.get(), Bytes().i32(1).i32(1).i32(9).v, mode), StatusFailed);
    EXPECT_EQ(get(a.get(), 0).integer(), 1);
    EXPECT_EQ(B(a.get())->Save(a.get(), nullptr, 0), StatusFailed);
    EXPECT_EQ(B(a.get())->Load(a.get(), nullptr, 0), StatusFailed);
}

TEST(ArraySave, ShortWritesAreReported)
{
    Obj a = new_array(), inner = new_array();
    A(inner.get())->PutIntAt(inner.get(), 1, 0);
    A(a.get())->PutStringCopyAt(a.get(), "hello", 0);
    A(a.get())->PutDoubleAt(a.get(), 1.5, 1);
    A(a.get())->PutBooleanAt(a.get(), 1, 2);
    A(a.get())->PutObjectAt(a.get(), inner.get(), 3);
    // Every cut point of the record makes Save fail, never succeed.
    const size_t full = saved(a.get()).size();
    for (size_t limit = 0; limit < full; ++limit) {
        Obj s(quolan_memory_stream_new());
        quolan_memory_stream_set_write_limit(s.get(), limit);
        EXPECT_NE(B(a.get())->Save(a.get(), s.get(), 0), 0) << "limit " << limit;
    }
}

// Round trips of every kind are held against a model elsewhere.  Borrowed
// texts and objects come back owned; a long text crosses the chunks in which
// a memory stream grows and a load reads.
TEST(ArrayLoad, RoundTripOwnsCopiesOfBorrowedContent)
{
    Obj a = new_array(), inner = new_array();
    A(inner.get())->PutStringCopyAt(inner.get(), "nested", 3);
    std::string text(200000, 't');
    A(a.get())->PutStringAt(a.get(), text.c_str(), 0);
    A(a.get())->PutObjectAt(a.get(), inner.get(), 1);
    Obj b = new_array();
    ASSERT_EQ(load(b.get(), saved(a.get())), 0);
    EXPECT_EQ(B(a.get())->IsEqual(a.get(), b.get()), 1);
    EXPECT_EQ(get(b.get(), 0).tag, OwnedString);
    EXPECT_EQ(get(b.get(), 1).tag, OwnedObject);
    EXPECT_NE(get(b.get(), 1).value, inner.get());
}

TEST(ArrayLoad, LoadPutsOverWhatIsThere)
{
    Obj b = new_array();
    for (int i = 0; i < 3; ++i) A(b.get())->PutIntAt(b.get(), 100 + i, -2);
    ASSERT_EQ(load(b.get(), Bytes().i32(2).i32(0).i32(1).i32(5).v), 0);
    EXPECT_EQ(get(b.get(), 0).integer(), 100) << "a Null entry leaves the position alone";
    EXPECT_EQ(get(b.get(), 1).integer(), 5);
    EXPECT_EQ(get(b.get(), 2).integer(), 102);
    EXPECT_EQ(load(b.get(), Bytes().i32(0).v), 0);
    EXPECT_EQ(load(b.get(), Bytes().i32(-7).v), 0);
    ASSERT_EQ(load(b.get(), Bytes().i32(1).i32(9).byte(0xff).v), 0);
    EXPECT_EQ(get(b.get(), 0).integer(), 255) << "the Boolean byte is zero-extended";
    EXPECT_EQ(used_count(b.get()), 3);
}

TEST(ArrayLoad, RefusedPutIsReportedAndLeaksNothing)
{
    Obj b = new_array();
    A(b.get())->SetSizes(b.get(), 0, 1);
    EXPECT_EQ(load(b.get(), Bytes().i32(2).i32(4).str("kept").i32(6).name("Array").i32(0).v), StatusOutOfRange);
    EXPECT_STREQ(get(b.get(), 0).text(), "kept");
}

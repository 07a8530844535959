// Array Save and Load: exact records, round trips, refusals.
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "support.h"

using namespace qt;

namespace {

std::vector<unsigned char> save(QuolanObject *a, int32_t *status = nullptr, int32_t mode = 0)
{
    Obj s(quolan_memory_stream_new());
    int32_t r = B(a)->Save(a, s.get(), mode);
    if (status) *status = r;
    else EXPECT_EQ(r, 0);
    return bytes_of(s.get());
}

int32_t load(QuolanObject *a, const std::vector<unsigned char> &bytes, int32_t mode = 0)
{
    Obj s = stream_from(bytes);
    return B(a)->Load(a, s.get(), mode);
}

}  // namespace

TEST(ArraySave, EmptyArrayWritesOnlyItsCount)
{
    Obj a = new_array();
    EXPECT_EQ(save(a.get()), Bytes().i32(0).v);
}

TEST(ArraySave, RecordOfIntegerStringAndNull)
{
    Obj a = new_array();
    A(a.get())->PutIntAt(a.get(), 7, 0);
    A(a.get())->PutStringCopyAt(a.get(), "abc", 1);
    A(a.get())->PutAt(a.get(), nullptr, Null, 2);
    EXPECT_EQ(save(a.get()), Bytes().i32(3).i32(1).i32(7).i32(4).str("abc").i32(0).v);
}

TEST(ArraySave, EveryStorableKindHasItsExactRecord)
{
    Obj a = new_array();
    Obj inner = new_array();
    A(inner.get())->PutIntAt(inner.get(), -1, 0);
    A(a.get())->PutDoubleAt(a.get(), -0.25, -2);
    A(a.get())->PutBooleanAt(a.get(), 256, -2);  // only the low byte is kept
    A(a.get())->PutBooleanAt(a.get(), 1, -2);
    A(a.get())->PutStringAt(a.get(), "", -2);    // borrowed: written as owned
    A(a.get())->PutObjectAt(a.get(), inner.get(), -2);
    Bytes expected;
    expected.i32(5).i32(2).f64(-0.25).i32(9).byte(0).i32(9).byte(1).i32(4).str("");
    expected.i32(6).name("Array").i32(1).i32(1).i32(-1);
    EXPECT_EQ(save(a.get()), expected.v);
}

TEST(ArraySave, InitialSizeCountsAsPositions)
{
    Obj a = new_array();
    A(a.get())->SetSizes(a.get(), 4, 10);
    EXPECT_EQ(save(a.get()), Bytes().i32(4).i32(0).i32(0).i32(0).i32(0).v);
}

TEST(ArraySave, PointersAndMissingStringsCannotBeWritten)
{
    int x = 0;
    Obj a = new_array();
    A(a.get())->PutIntAt(a.get(), 1, 0);
    A(a.get())->PutPtrAt(a.get(), &x, 1);
    int32_t status = 0;
    auto bytes = save(a.get(), &status);
    EXPECT_EQ(status, StatusBadType);
    EXPECT_EQ(bytes, Bytes().i32(2).i32(1).i32(1).i32(7).v) << "the tag is already out";

    Obj b = new_array();
    A(b.get())->PutStringAt(b.get(), nullptr, 0);
    save(b.get(), &status);
    EXPECT_EQ(status, StatusBadType);

    Obj c = new_array();
    A(c.get())->PutAt(c.get(), &x, 10, 0);
    save(c.get(), &status);
    EXPECT_EQ(status, StatusBadType);
}

TEST(ArraySave, NullObjectIsWrittenAsAnEmptyPosition)
{
    Obj a = new_array();
    A(a.get())->PutObjectAt(a.get(), nullptr, 0);
    EXPECT_EQ(save(a.get()), Bytes().i32(1).i32(0).v);
}

TEST(ArraySave, ModeOneIsRefusedBothWays)
{
    Obj a = new_array();
    A(a.get())->PutIntAt(a.get(), 1, 0);
    int32_t status = 0;
    EXPECT_TRUE(save(a.get(), &status, 1).empty());
    EXPECT_EQ(status, StatusFailed);
    EXPECT_EQ(load(a.get(), Bytes().i32(1).i32(1).i32(9).v, 1), StatusFailed);
    EXPECT_EQ(load(a.get(), Bytes().i32(1).i32(1).i32(9).v, 2), StatusFailed);
    EXPECT_EQ(get(a.get(), 0).integer(), 1);
    EXPECT_EQ(B(a.get())->Save(a.get(), nullptr, 0), StatusFailed);
    EXPECT_EQ(B(a.get())->Load(a.get(), nullptr, 0), StatusFailed);
}

TEST(ArraySave, ShortWritesAreReported)
{
    Obj a = new_array();
    A(a.get())->PutStringCopyAt(a.get(), "hello", 0);
    A(a.get())->PutDoubleAt(a.get(), 1.5, 1);
    // Every cut point of the 34-byte record makes Save fail, never succeed.
    std::vector<unsigned char> full = save(a.get());
    for (size_t limit = 0; limit < full.size(); ++limit) {
        Obj s(quolan_memory_stream_new());
        quolan_memory_stream_set_write_limit(s.get(), limit);
        EXPECT_NE(B(a.get())->Save(a.get(), s.get(), 0), 0) << "limit " << limit;
    }
}

TEST(ArrayLoad, RoundTripKeepsEveryKindAndOwnsCopies)
{
    Obj a = new_array();
    Obj inner = new_array();
    A(inner.get())->PutStringCopyAt(inner.get(), "nested", 3);
    A(a.get())->PutIntAt(a.get(), 7, 0);
    A(a.get())->PutDoubleAt(a.get(), 3.25, 1);
    A(a.get())->PutStringAt(a.get(), "borrowed", 2);
    A(a.get())->PutObjectAt(a.get(), inner.get(), 3);
    A(a.get())->PutBooleanAt(a.get(), 1, 4);
    A(a.get())->PutIntAt(a.get(), 9, 6);

    Obj b = new_array();
    ASSERT_EQ(load(b.get(), save(a.get())), 0);
    EXPECT_EQ(B(a.get())->IsEqual(a.get(), b.get()), 1);
    EXPECT_EQ(get(b.get(), 2).tag, OwnedString);
    EXPECT_EQ(get(b.get(), 3).tag, OwnedObject);
    EXPECT_NE(get(b.get(), 3).value, inner.get());
    EXPECT_EQ(get(b.get(), 5).tag, Null);
    EXPECT_EQ(used_count(b.get()), 7);
}

TEST(ArrayLoad, TrailingNullsDoNotExtendTheArray)
{
    Obj b = new_array();
    ASSERT_EQ(load(b.get(), Bytes().i32(4).i32(1).i32(5).i32(0).i32(0).i32(0).v), 0);
    EXPECT_EQ(used_count(b.get()), 1);
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
    EXPECT_EQ(used_count(b.get()), 3);
}

TEST(ArrayLoad, BooleanByteIsZeroExtended)
{
    Obj b = new_array();
    ASSERT_EQ(load(b.get(), Bytes().i32(1).i32(9).byte(0xff).v), 0);
    EXPECT_EQ(get(b.get(), 0).integer(), 255);
}

TEST(ArrayLoad, RefusedPutIsReportedAndLeaksNothing)
{
    Obj b = new_array();
    A(b.get())->SetSizes(b.get(), 0, 1);
    auto bytes = Bytes().i32(2).i32(4).str("kept").i32(6).name("Array").i32(0).v;
    EXPECT_EQ(load(b.get(), bytes), StatusOutOfRange);
    EXPECT_STREQ(get(b.get(), 0).text(), "kept");
}

TEST(ArrayLoad, FileStreamRoundTrip)
{
    char path[] = "/tmp/quolan-array-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    Obj a = new_array();
    for (int i = 0; i < 100; ++i) A(a.get())->PutIntAt(a.get(), i * i, -2);
    A(a.get())->PutStringCopyAt(a.get(), "end", -2);
    {
        Obj out(quolan_file_stream_open(path, "wb"));
        ASSERT_NE(out, nullptr);
        ASSERT_EQ(B(a.get())->Save(a.get(), out.get(), 0), 0);
    }
    Obj b = new_array();
    {
        Obj in(quolan_file_stream_open(path, "rb"));
        ASSERT_NE(in, nullptr);
        ASSERT_EQ(B(b.get())->Load(b.get(), in.get(), 0), 0);
    }
    EXPECT_EQ(B(a.get())->IsEqual(a.get(), b.get()), 1);
    std::remove(path);
}

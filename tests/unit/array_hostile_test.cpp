// Load of hostile bytes: every answer a status, nothing read past a buffer,
// nothing leaked (LeakSanitizer), the array deletable and usable after.
#include <chrono>

#include "support.h"

using namespace qt;

namespace {

int32_t load_into(QuolanObject *a, const std::vector<unsigned char> &bytes)
{
    Obj s = stream_from(bytes);
    return B(a)->Load(a, s.get(), 0);
}

int32_t load_fresh(const std::vector<unsigned char> &bytes)
{
    Obj a = new_array();
    int32_t status = load_into(a.get(), bytes);
    EXPECT_EQ(A(a.get())->PutIntAt(a.get(), 1, -2), 0) << "still usable";
    return status;
}

std::vector<unsigned char> rich_record()
{
    Obj a = new_array();
    Obj inner = new_array();
    A(inner.get())->PutStringCopyAt(inner.get(), "inner text", 0);
    A(inner.get())->PutDoubleAt(inner.get(), 1.0 / 3, 1);
    A(a.get())->PutIntAt(a.get(), 42, 0);
    A(a.get())->PutStringCopyAt(a.get(), "some text", 1);
    A(a.get())->PutObjectAt(a.get(), inner.get(), 2);
    A(a.get())->PutBooleanAt(a.get(), 1, 3);
    A(a.get())->PutDoubleAt(a.get(), 2.5, 5);
    Obj s(quolan_memory_stream_new());
    EXPECT_EQ(B(a.get())->Save(a.get(), s.get(), 0), 0);
    return bytes_of(s.get());
}

}  // namespace

TEST(ArrayHostile, TruncationAtEveryByteIsRefused)
{
    auto full = rich_record();
    ASSERT_EQ(load_fresh(full), 0);
    for (size_t cut = 0; cut < full.size(); ++cut) {
        std::vector<unsigned char> part(full.begin(), full.begin() + static_cast<long>(cut));
        EXPECT_NE(load_fresh(part), 0) << "cut at " << cut;
    }
}

TEST(ArrayHostile, ForbiddenAndUnknownTagsAreBadType)
{
    for (int32_t tag : {3, 5, 7, 8, 10, 255, -1, INT32_MIN})
        EXPECT_EQ(load_fresh(Bytes().i32(1).i32(tag).i32(0).i32(0).v), StatusBadType) << tag;
}

TEST(ArrayHostile, BadStringLengthsAreRefused)
{
    EXPECT_EQ(load_fresh(Bytes().i32(1).i32(4).i32(-1).byte(0).v), StatusFailed);
    EXPECT_EQ(load_fresh(Bytes().i32(1).i32(4).i32(3).raw("abcd", 4).v), StatusFailed)
        << "last byte not NUL";
    EXPECT_EQ(load_fresh(Bytes().i32(1).i32(4).i32(3).raw("a\0c", 4).v), StatusFailed)
        << "NUL inside the text";
    EXPECT_EQ(load_fresh(Bytes().i32(1).i32(4).i32(INT32_MAX).raw("ab", 3).v), StatusFailed);
    EXPECT_EQ(load_fresh(Bytes().i32(1).i32(4).i32(INT32_MAX - 1).raw("ab", 3).v), StatusFailed);
}

TEST(ArrayHostile, HugeClaimsCostOnlyWhatTheInputHolds)
{
    auto start = std::chrono::steady_clock::now();
    // A count far beyond the entries present, and a length far beyond the bytes.
    EXPECT_NE(load_fresh(Bytes().i32(INT32_MAX).i32(1).i32(5).v), 0);
    EXPECT_NE(load_fresh(Bytes().i32(1).i32(4).i32(2000000000).raw("xyz", 3).v), 0);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 2000);
}

TEST(ArrayHostile, UnknownOrMalformedClassIdentityIsRefused)
{
    EXPECT_EQ(load_fresh(Bytes().i32(1).i32(6).name("NoSuchClass").i32(0).v), StatusFailed);
    EXPECT_EQ(load_fresh(Bytes().i32(1).i32(6).i32(0).v), StatusFailed);
    EXPECT_EQ(load_fresh(Bytes().i32(1).i32(6).i32(-5).v), StatusFailed);
    EXPECT_EQ(load_fresh(Bytes().i32(1).i32(6).i32(1000).raw("Array", 5).v), StatusFailed);
    // A known class whose own record is bad: the half-made object is dropped.
    EXPECT_NE(load_fresh(Bytes().i32(1).i32(6).name("Array").i32(1).i32(4).i32(5).v), 0);
}

TEST(ArrayHostile, DeepNestingIsCutOffWithoutExhaustingTheStack)
{
    Bytes deep;
    const int levels = 5000;
    for (int i = 0; i < levels; ++i) deep.i32(1).i32(6).name("Array");
    deep.i32(0);
    EXPECT_EQ(load_fresh(deep.v), StatusFailed);

    Bytes fits;  // within the limit the same shape loads
    for (int i = 0; i < 100; ++i) fits.i32(1).i32(6).name("Array");
    fits.i32(0);
    EXPECT_EQ(load_fresh(fits.v), 0);
}

TEST(ArrayHostile, SelfHoldingArrayFailsInsteadOfRecursingForever)
{
    Obj a = new_array();
    A(a.get())->PutIntAt(a.get(), 1, 0);
    A(a.get())->PutObjectAt(a.get(), a.get(), 1);  // borrowed: holds itself
    Obj s(quolan_memory_stream_new());
    EXPECT_EQ(B(a.get())->Save(a.get(), s.get(), 0), StatusFailed);
    EXPECT_EQ(B(a.get())->IsEqual(a.get(), a.get()), 0);
    Obj copy(B(a.get())->Copy(array_baseclass, a.get()));
    ASSERT_NE(copy, nullptr) << "borrowed objects are shared, not copied";
    EXPECT_EQ(get(copy.get(), 1).value, a.get());
}

TEST(ArrayHostile, DeeplyNestedSaveIsRefused)
{
    Obj outer = new_array();
    QuolanObject *level = outer.get();
    for (int i = 0; i < 1100; ++i) {
        Obj next = new_array();
        QuolanObject *raw = next.release();
        A(level)->PutObjectCopyAt(level, raw, 0);
        level = raw;
    }
    Obj s(quolan_memory_stream_new());
    EXPECT_EQ(B(outer.get())->Save(outer.get(), s.get(), 0), StatusFailed);
    EXPECT_EQ(B(outer.get())->Copy(array_baseclass, outer.get()), nullptr);
}

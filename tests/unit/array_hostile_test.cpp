// Load of hostile bytes: every answer a status, nothing read past a buffer,
// nothing leaked (LeakSanitizer), the array deletable and usable after; and
// containers nested too deep, or in themselves, on Save, Copy and IsEqual.
#include <chrono>

#include "support.h"

using namespace qt;

namespace {

int32_t load_fresh(const ByteVec &bytes)
{
    Obj a = new_array();
    int32_t status = load(a.get(), bytes);
    EXPECT_EQ(A(a.get())->PutIntAt(a.get(), 1, -2), 0) << "still usable";
    return status;
}

}  // namespace

TEST(ArrayHostile, TruncationAtEveryByteIsRefused)
{
    Obj a = new_array(), inner = new_array();
    A(inner.get())->PutStringCopyAt(inner.get(), "inner text", 0);
    A(inner.get())->PutDoubleAt(inner.get(), 1.0 / 3, 1);
    A(a.get())->PutIntAt(a.get(), 42, 0);
    A(a.get())->PutObjectAt(a.get(), inner.get(), 2);
    A(a.get())->PutBooleanAt(a.get(), 1, 3);
    ByteVec full = saved(a.get());
    ASSERT_EQ(load_fresh(full), 0);
    expect_every_cut_refused(full, new_array);
}

TEST(ArrayHostile, MalformedEntriesAreRefused)
{
    for (int32_t tag : {3, 5, 7, 8, 10, 255, -1, INT32_MIN})
        EXPECT_EQ(load_fresh(Bytes().i32(1).i32(tag).i32(0).i32(0).v), StatusBadType) << tag;
    const ByteVec failed[] = {
        Bytes().i32(1).i32(4).i32(-1).byte(0).v,                // negative length
        Bytes().i32(1).i32(4).i32(3).raw("abcd", 4).v,          // last byte not NUL
        Bytes().i32(1).i32(4).i32(3).raw("a\0c", 4).v,          // NUL inside the text
        Bytes().i32(1).i32(4).i32(INT32_MAX).raw("ab", 3).v,    // length + 1 overflows
        Bytes().i32(1).i32(4).i32(INT32_MAX - 1).raw("ab", 3).v,
        Bytes().i32(1).i32(6).name("NoSuchClass").i32(0).v,     // unknown class
        Bytes().i32(1).i32(6).i32(0).v,                         // empty class name
        Bytes().i32(1).i32(6).i32(-5).v,
        Bytes().i32(1).i32(6).i32(1000).raw("Array", 5).v,      // name cut short
    };
    for (const ByteVec &bytes : failed) EXPECT_EQ(load_fresh(bytes), StatusFailed);
    // A known class whose own record is bad: the half-made object is dropped.
    EXPECT_NE(load_fresh(Bytes().i32(1).i32(6).name("Array").i32(1).i32(4).i32(5).v), 0);
}

TEST(ArrayHostile, HugeClaimsCostOnlyWhatTheInputHolds)
{
    auto start = std::chrono::steady_clock::now();
    EXPECT_NE(load_fresh(Bytes().i32(INT32_MAX).i32(1).i32(5).v), 0);
    EXPECT_NE(load_fresh(Bytes().i32(1).i32(4).i32(2000000000).raw("xyz", 3).v), 0);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 2000);
}

TEST(ArrayHostile, DeepNestingIsCutOffWithoutExhaustingTheStack)
{
    for (int levels : {100, 5000}) {
        Bytes deep;
        for (int i = 0; i < levels; ++i) deep.i32(1).i32(6).name("Array");
        deep.i32(0);
        EXPECT_EQ(load_fresh(deep.v), levels > 1000 ? StatusFailed : 0) << levels;
    }
    Obj outer = new_array();
    QuolanObject *level = outer.get();
    for (int i = 0; i < 1100; ++i) {
        QuolanObject *next = new_array().release();
        A(level)->PutObjectCopyAt(level, next, 0);
        level = next;
    }
    int32_t status = 0;
    saved(outer.get(), &status);
    EXPECT_EQ(status, StatusFailed);
    EXPECT_EQ(B(outer.get())->Copy(array_baseclass, outer.get()), nullptr);
}

TEST(ArrayHostile, SelfHoldingArrayFailsInsteadOfRecursingForever)
{
    Obj a = new_array();
    A(a.get())->PutIntAt(a.get(), 1, 0);
    A(a.get())->PutObjectAt(a.get(), a.get(), 1);  // borrowed: holds itself
    int32_t status = 0;
    saved(a.get(), &status);
    EXPECT_EQ(status, StatusFailed);
    EXPECT_EQ(B(a.get())->IsEqual(a.get(), a.get()), 0);
    Obj copy(B(a.get())->Copy(array_baseclass, a.get()));
    ASSERT_NE(copy, nullptr) << "borrowed objects are shared, not copied";
    EXPECT_EQ(get(copy.get(), 1).value, a.get());
}

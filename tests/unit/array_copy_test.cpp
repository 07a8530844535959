// Array Copy and IsEqual.
#include <cmath>
#include <cstdlib>

#include "support.h"

using namespace qt;

TEST(ArrayCopy, CopyDuplicatesOwnedContentAndBorrowsTheRest)
{
    Obj a = new_array();
    void *block = std::malloc(4);
    QuolanObject *shared = Tracked::make_raw();
    A(a.get())->PutIntAt(a.get(), 5, 0);
    A(a.get())->PutStringCopyAt(a.get(), "x", 1);
    A(a.get())->PutPtrCopyAt(a.get(), block, 3);
    A(a.get())->PutObjectAt(a.get(), shared, 4);
    A(a.get())->SetSizes(a.get(), 8, 100);

    Obj c(B(a.get())->Copy(array_baseclass, a.get()));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(cursor(a.get()), 5) << "the source's cursor ends at its used count";
    EXPECT_EQ(get(c.get(), 0).integer(), 5);
    EXPECT_STREQ(get(c.get(), 1).text(), "x");
    EXPECT_NE(get(c.get(), 1).value, get(a.get(), 1).value);
    EXPECT_EQ(get(c.get(), 2).tag, Null);
    EXPECT_EQ(get(c.get(), 3).tag, Pointer);
    EXPECT_EQ(get(c.get(), 3).value, block);
    EXPECT_EQ(get(c.get(), 4).value, shared);
    int32_t initial = -1, maximum = -1;
    A(c.get())->GetSizes(c.get(), &initial, &maximum);
    EXPECT_EQ(initial, 0) << "sizes are not copied";
    EXPECT_EQ(maximum, 0);
    c.reset();  // deleting the copy leaves the block and the source intact
    EXPECT_EQ(get(a.get(), 3).value, block);
    a.reset();
    B(shared)->Delete(shared);
}

TEST(ArrayCopy, OwnedObjectsAreCopiedWithTheirOwnCopy)
{
    Obj a = new_array();
    Obj inner = new_array();
    A(inner.get())->PutStringCopyAt(inner.get(), "deep", 0);
    QuolanObject *raw = inner.release();
    A(a.get())->PutObjectCopyAt(a.get(), raw, 0);
    Obj c(B(a.get())->Copy(a.get(), a.get()));
    ASSERT_NE(c, nullptr);
    Read r = get(c.get(), 0);
    EXPECT_EQ(r.tag, OwnedObject);
    EXPECT_NE(r.value, raw);
    EXPECT_EQ(B(a.get())->IsEqual(a.get(), c.get()), 1);
    EXPECT_EQ(c->methods, array_baseclass->methods);
}

TEST(ArrayCopy, AnUncopyableOwnedObjectFailsTheWholeCopy)
{
    Obj a = new_array();
    A(a.get())->PutStringCopyAt(a.get(), "before", 0);
    A(a.get())->PutObjectCopyAt(a.get(), Tracked::make_raw(), 1);  // the root's Copy answers NULL
    QuolanMethod *table = a->methods;
    EXPECT_EQ(B(a.get())->Copy(array_baseclass, a.get()), nullptr);
    EXPECT_EQ(a->methods, table) << "the source's table is restored";
    EXPECT_EQ(B(a.get())->Copy(array_baseclass, nullptr), nullptr);
}

TEST(ArrayCopy, EmptyArrayCopiesToAnEmptyArray)
{
    Obj a = new_array();
    Obj c(B(a.get())->Copy(array_baseclass, a.get()));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(A(c.get())->GetSizes(c.get(), nullptr, nullptr), 0);
}

namespace {
Obj one(int32_t tag, void *value)
{
    Obj a = new_array();
    A(a.get())->PutAt(a.get(), value, tag, 0);
    return a;
}
int32_t equal(const Obj &a, const Obj &b) { return B(a.get())->IsEqual(a.get(), b.get()); }
}  // namespace

TEST(ArrayEqual, NumbersCompareAcrossKindsWithinTolerance)
{
    int32_t two = 2, three = 3;
    double near = 2.0000005, far = 2.01, nan = std::nan("");
    EXPECT_EQ(equal(one(Integer, &two), one(Double, &near)), 1);
    EXPECT_EQ(equal(one(Double, &near), one(Integer, &two)), 1);
    EXPECT_EQ(equal(one(Integer, &two), one(Double, &far)), 0);
    EXPECT_EQ(equal(one(Integer, &two), one(Integer, &three)), 0);
    EXPECT_EQ(equal(one(Double, &nan), one(Double, &far)), 1) << "a NaN difference is not greater";
    EXPECT_EQ(equal(one(Boolean, &two), one(Integer, &two)), 0);
    EXPECT_EQ(equal(one(Boolean, &two), one(Boolean, &two)), 1);
}

TEST(ArrayEqual, FamiliesCompareAlike)
{
    char text[] = "a";
    int x = 0;
    EXPECT_EQ(equal(one(String, text), one(OwnedString, text)), 1);
    EXPECT_EQ(equal(one(String, text), one(OwnedString, const_cast<char *>("b"))), 0);
    EXPECT_EQ(equal(one(Pointer, &x), one(OwnedPointer, std::malloc(1))), 0);
    Obj p = one(OwnedPointer, std::malloc(1));
    EXPECT_EQ(equal(one(Pointer, get(p.get(), 0).value), p), 1);
    EXPECT_EQ(equal(one(String, nullptr), one(String, nullptr)), 1);
    EXPECT_EQ(equal(one(String, nullptr), one(String, text)), 0);
    EXPECT_EQ(equal(one(String, text), one(String, nullptr)), 0);
    EXPECT_EQ(equal(one(Object, nullptr), one(Object, nullptr)), 1);
    EXPECT_EQ(equal(one(Integer, &x), one(String, text)), 0);
    EXPECT_EQ(equal(one(13, &x), one(13, &x)), 0) << "unknown tags are never equal";
}

TEST(ArrayEqual, SizesAndNonArraysDiffer)
{
    Obj a = new_array(), b = new_array();
    EXPECT_EQ(equal(a, b), 1);
    A(b.get())->PutIntAt(b.get(), 1, 0);
    EXPECT_EQ(equal(a, b), 0);
    A(a.get())->SetSizes(a.get(), 1, 0);  // no bound: the initial size stays 0
    EXPECT_EQ(equal(a, b), 0);
    QuolanObject *t = Tracked::make_raw();
    EXPECT_EQ(B(a.get())->IsEqual(a.get(), t), 0);
    EXPECT_EQ(B(a.get())->IsEqual(a.get(), nullptr), 0);
    B(t)->Delete(t);
}

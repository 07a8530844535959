// Array Copy and IsEqual.
#include <cmath>
#include <cstdlib>

#include "support.h"

using namespace qt;

// Copies of plain elements are held against a model elsewhere; nested
// containers are copied with their own Copy, owned blocks are borrowed.
TEST(ArrayCopy, OwnedObjectsAreCopiedWithTheirOwnCopy)
{
    Obj a = new_array(), inner = new_array();
    A(inner.get())->PutStringCopyAt(inner.get(), "deep", 0);
    QuolanObject *owned = inner.release();
    A(a.get())->PutObjectCopyAt(a.get(), owned, 1);
    A(a.get())->PutPtrCopyAt(a.get(), std::malloc(4), 2);
    Obj c(B(a.get())->Copy(array_baseclass, a.get()));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(get(c.get(), 1).tag, OwnedObject);
    EXPECT_NE(get(c.get(), 1).value, owned);
    EXPECT_EQ(get(c.get(), 2).tag, Pointer) << "a block stays its owner's";
    EXPECT_EQ(B(a.get())->IsEqual(a.get(), c.get()), 1);
}

TEST(ArrayCopy, AnUncopyableOwnedObjectFailsTheWholeCopy)
{
    Obj a = new_array();
    EXPECT_NE(Obj(B(a.get())->Copy(array_baseclass, a.get())), nullptr) << "an empty array copies";
    A(a.get())->PutStringCopyAt(a.get(), "before", 0);
    A(a.get())->PutObjectCopyAt(a.get(), Tracked::make_raw(), 1);  // the root's Copy answers NULL
    QuolanMethod *table = a->methods;
    EXPECT_EQ(B(a.get())->Copy(array_baseclass, a.get()), nullptr);
    EXPECT_EQ(a->methods, table) << "the source's table is restored";
    EXPECT_EQ(B(a.get())->Copy(array_baseclass, nullptr), nullptr);
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

TEST(ArrayEqual, KindsCompareByFamilyAndNumbersWithinTolerance)
{
    int32_t two = 2, three = 3;
    double near = 2.0000005, far = 2.01, nan = std::nan("");
    char text[] = "a";
    void *block = std::malloc(1);
    Obj owned_block = one(OwnedPointer, block);
    struct Case {
        int32_t tag_a;
        void *a;
        int32_t tag_b;
        void *b;
        int32_t expected;
    } cases[] = {
        {Integer, &two, Double, &near, 1}, {Double, &near, Integer, &two, 1}, {Integer, &two, Double, &far, 0},
        {Integer, &two, Integer, &three, 0}, {Double, &nan, Double, &far, 1},  // a NaN difference is not greater
        {Boolean, &two, Integer, &two, 0}, {String, text, OwnedString, text, 1},
        {String, nullptr, String, nullptr, 1}, {String, nullptr, String, text, 0},
        {String, text, String, nullptr, 0}, {Object, nullptr, Object, nullptr, 1},
        {Pointer, block, Pointer, &two, 0}, {Integer, &two, String, text, 0},
        {13, &two, 13, &two, 0},  // unknown tags are never equal
    };
    for (const Case &c : cases)
        EXPECT_EQ(equal(one(c.tag_a, c.a), one(c.tag_b, c.b)), c.expected) << c.tag_a << " " << c.tag_b;
    EXPECT_EQ(equal(one(Pointer, block), owned_block), 1);
}

TEST(ArrayEqual, SizesDictionariesAndNonArraysDiffer)
{
    Obj a = new_array(), b = new_array(), d = new_dict();
    EXPECT_EQ(equal(a, b), 1);
    A(b.get())->PutIntAt(b.get(), 1, 0);
    EXPECT_EQ(equal(a, b), 0);
    A(a.get())->SetSizes(a.get(), 1, 0);  // no bound: the initial size stays 0
    EXPECT_EQ(equal(a, b), 0);
    A(d.get())->PutIntAt(d.get(), 1, 0);
    EXPECT_EQ(equal(b, d), 0) << "a dictionary equals nothing";
    QuolanObject *t = Tracked::make_raw();
    EXPECT_EQ(B(a.get())->IsEqual(a.get(), t), 0);
    EXPECT_EQ(B(a.get())->IsEqual(a.get(), nullptr), 0);
    B(t)->Delete(t);
}

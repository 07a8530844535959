// Class creation, versions, named lookup and IsA of Array.
#include "support.h"

using namespace qt;

TEST(ArrayClass, InitCreatesOnceAndPublishesThePointer)
{
    QuolanObject *cls = array_baseclass_init();
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls, array_baseclass);
    int32_t calls = quolan_testing_subclass_calls();
    EXPECT_EQ(array_baseclass_init(), cls);
    EXPECT_EQ(quolan_testing_subclass_calls(), calls);
    EXPECT_EQ(cls->size, 64u);
}

TEST(ArrayClass, VersionsByName)
{
    Obj a = new_array();
    auto *b = B(a.get());
    EXPECT_EQ(b->GetVersion(a.get(), nullptr), 0x02030100);
    EXPECT_EQ(b->GetVersion(a.get(), "Array"), 0x02030100);
    EXPECT_EQ(b->GetVersion(a.get(), "QUOLAN"), 0x203);
    EXPECT_EQ(b->GetVersion(a.get(), "Dict"), 0);
}

TEST(ArrayClass, IsAWritesTheNameAndAsksTheRootLast)
{
    Obj a = new_array();
    char name[16] = "";
    EXPECT_EQ(B(a.get())->IsA(a.get(), name), 1);
    EXPECT_STREQ(name, "Array");
    char array[] = "Array", root[] = "QUOLAN", other[] = "GenSet";
    EXPECT_EQ(B(a.get())->IsA(a.get(), array), 1);
    EXPECT_EQ(B(a.get())->IsA(a.get(), root), 1);
    EXPECT_EQ(B(a.get())->IsA(a.get(), other), 0);
    EXPECT_EQ(B(a.get())->IsA(a.get(), nullptr), 0);
}

TEST(ArrayClass, GetMethodFindsEveryNamedSlotInTheObjectsTable)
{
    Obj a = new_array();
    const char *names[] = {"SetDimension", "SetSizes", "GetSizes", "SetIndex", "GetIndex",
                           "PutAt", "PutBooleanAt", "PutIntAt", "PutDoubleAt", "PutStringAt",
                           "PutStringCopyAt", "PutObjectAt", "PutObjectCopyAt", "PutPtrAt",
                           "PutPtrCopyAt", "GetAt", "Next", "Previous", "ClearAt"};
    for (int slot = 12; slot <= 30; ++slot)
        EXPECT_EQ(B(a.get())->GetMethod(a.get(), names[slot - 12]), a->methods[slot]) << slot;
    // Base names come from the root, still resolved in the object's own table.
    EXPECT_EQ(B(a.get())->GetMethod(a.get(), "Save"), a->methods[8]);
    EXPECT_EQ(B(a.get())->GetMethod(a.get(), "NoSuchMethod"), nullptr);
    EXPECT_EQ(B(a.get())->GetMethod(a.get(), "putat"), nullptr);
    EXPECT_EQ(B(a.get())->GetMethod(a.get(), nullptr), nullptr);
}

TEST(ArrayClass, TypedTableMatchesNamedLookup)
{
    Obj a = new_array();
    auto put = reinterpret_cast<int32_t (*)(QuolanObject *, int32_t, int32_t)>(
        B(a.get())->GetMethod(a.get(), "PutIntAt"));
    ASSERT_NE(put, nullptr);
    EXPECT_EQ(put(a.get(), 11, -2), 0);
    EXPECT_EQ(get(a.get(), 0).integer(), 11);
}

TEST(ArrayClass, SetDimensionIsRefused)
{
    Obj a = new_array();
    EXPECT_EQ(A(a.get())->SetDimension(a.get(), 2), StatusFailed);
    EXPECT_EQ(layout(a.get())->dimension_count, 1);
}

// A subclass made by a client, overriding PutAt and GetAt: the shortcuts and
// the walks must reach the overrides through the object's own table.
namespace {
int put_calls = 0, get_calls = 0;
int32_t counting_put(QuolanObject *self, void *v, int32_t t, int32_t i)
{
    ++put_calls;
    return quolan_array_methods(array_baseclass)->PutAt(self, v, t, i);
}
int32_t counting_get(QuolanObject *self, void **v, int32_t *t, int32_t i)
{
    ++get_calls;
    return quolan_array_methods(array_baseclass)->GetAt(self, v, t, i);
}
}  // namespace

TEST(ArrayClass, ShortcutsAndWalksReachSubclassOverrides)
{
    QuolanObject *sub = quolan_generic_subclass(array_baseclass_init(), 64,
                                                ArraySlot_Count * sizeof(QuolanMethod));
    ASSERT_NE(sub, nullptr);
    auto *t = reinterpret_cast<ArrayMethods *>(sub->methods);
    t->PutAt = counting_put;
    t->GetAt = counting_get;
    Obj a = make(sub);
    put_calls = get_calls = 0;
    A(a.get())->PutIntAt(a.get(), 1, -2);
    A(a.get())->PutDoubleAt(a.get(), 2.0, -2);
    A(a.get())->PutStringCopyAt(a.get(), "x", -2);
    A(a.get())->PutBooleanAt(a.get(), 1, -2);
    EXPECT_EQ(put_calls, 4);
    A(a.get())->SetIndex(a.get(), 0);
    void *v;
    int32_t tag;
    while (A(a.get())->Next(a.get(), &v, &tag) == 0) {}
    EXPECT_EQ(get_calls, 4);
    A(a.get())->Previous(a.get(), &v, &tag);
    EXPECT_EQ(get_calls, 5);
}

// Element operations of Array: puts, reads, walks, clears and ownership.
#include <cstdlib>

#include "support.h"

using namespace qt;

TEST(ArrayElements, EveryShortcutStoresItsTagAndValue)
{
    Obj a = new_array();
    auto *m = A(a.get());
    QuolanObject *borrowed = Tracked::make_raw();
    const char *text = "borrowed";
    int local = 0;
    m->PutBooleanAt(a.get(), 5, -2);
    m->PutIntAt(a.get(), -42, -2);
    m->PutDoubleAt(a.get(), 2.5, -2);
    m->PutStringAt(a.get(), text, -2);
    m->PutStringCopyAt(a.get(), text, -2);
    m->PutObjectAt(a.get(), borrowed, -2);
    m->PutPtrAt(a.get(), &local, -2);
    m->PutPtrCopyAt(a.get(), std::malloc(8), -2);
    m->PutAt(a.get(), nullptr, Null, -2);

    EXPECT_EQ(get(a.get(), 0).tag, Boolean);
    EXPECT_EQ(get(a.get(), 0).integer(), 5);
    EXPECT_EQ(get(a.get(), 1).integer(), -42);
    EXPECT_EQ(get(a.get(), 2).real(), 2.5);
    EXPECT_EQ(get(a.get(), 3).value, text);
    EXPECT_EQ(get(a.get(), 3).tag, String);
    EXPECT_NE(get(a.get(), 4).value, text) << "owned strings are duplicated";
    EXPECT_STREQ(get(a.get(), 4).text(), "borrowed");
    EXPECT_EQ(get(a.get(), 4).tag, OwnedString);
    EXPECT_EQ(get(a.get(), 5).value, borrowed);
    EXPECT_EQ(get(a.get(), 6).value, &local);
    EXPECT_EQ(get(a.get(), 7).tag, OwnedPointer);
    EXPECT_EQ(get(a.get(), 8).tag, Null);
    EXPECT_EQ(used_count(a.get()), 9);
    a.reset();
    Tracked::clears = 0;
    B(borrowed)->Delete(borrowed);
    EXPECT_EQ(Tracked::clears, 1) << "the array never deleted the borrowed object";
}

TEST(ArrayElements, SpecialIndexesAppendAndOverwriteTheLast)
{
    Obj a = new_array();
    EXPECT_EQ(A(a.get())->PutIntAt(a.get(), 1, -1), 0) << "-1 on an empty array is position 0";
    EXPECT_EQ(A(a.get())->PutIntAt(a.get(), 2, -2), 0);
    EXPECT_EQ(A(a.get())->PutIntAt(a.get(), 3, -1), 0);
    EXPECT_EQ(used_count(a.get()), 2);
    EXPECT_EQ(get(a.get(), 0).integer(), 1);
    EXPECT_EQ(get(a.get(), 1).integer(), 3);
    EXPECT_EQ(get(a.get(), -1).integer(), 3);
    EXPECT_EQ(get(a.get(), -2).status, StatusOutOfRange);
    EXPECT_EQ(A(a.get())->PutIntAt(a.get(), 4, -3), StatusOutOfRange);
}

TEST(ArrayElements, ReadPointerSeesLaterWritesOfTheSamePosition)
{
    Obj a = new_array();
    A(a.get())->PutIntAt(a.get(), 1, 0);
    Read r = get(a.get(), 0);
    A(a.get())->PutIntAt(a.get(), 2, 0);
    EXPECT_EQ(r.integer(), 2);
    // A Null element reads as a null value whatever was stored with it.
    int dummy;
    A(a.get())->PutAt(a.get(), &dummy, Null, 0);
    EXPECT_EQ(get(a.get(), 0).value, nullptr);
}

TEST(ArrayElements, OwnedStringChangesHandsOnlyForTheSamePointer)
{
    Obj a = new_array();
    A(a.get())->PutStringCopyAt(a.get(), "abc", 3);
    char *d = static_cast<char *>(get(a.get(), 3).value);
    // The very pointer again, as owned: no second duplicate.
    EXPECT_EQ(A(a.get())->PutStringCopyAt(a.get(), d, 3), 0);
    EXPECT_EQ(get(a.get(), 3).value, d);
    // The very pointer as borrowed: only the tag changes; the caller owns d now.
    EXPECT_EQ(A(a.get())->PutStringAt(a.get(), d, 3), 0);
    EXPECT_EQ(get(a.get(), 3).tag, String);
    EXPECT_EQ(get(a.get(), 3).value, d);
    a.reset();
    EXPECT_STREQ(d, "abc");
    std::free(d);
}

TEST(ArrayElements, OverwritingReleasesOwnedContent)
{
    Obj a = new_array();
    QuolanObject *o = Tracked::make_raw();
    Tracked::clears = 0;
    A(a.get())->PutObjectCopyAt(a.get(), o, 0);
    A(a.get())->PutIntAt(a.get(), 1, 0);
    EXPECT_EQ(Tracked::clears, 1) << "an owned object is deleted when overwritten";
    A(a.get())->PutStringCopyAt(a.get(), "x", 1);
    A(a.get())->PutStringAt(a.get(), "y", 1);  // frees the duplicate (LeakSanitizer checks)
    A(a.get())->PutPtrCopyAt(a.get(), std::malloc(16), 2);
    A(a.get())->PutPtrAt(a.get(), nullptr, 2);
    // An owned object handed over as borrowed keeps living with its new owner.
    QuolanObject *p = Tracked::make_raw();
    A(a.get())->PutObjectCopyAt(a.get(), p, 3);
    A(a.get())->PutObjectAt(a.get(), p, 3);
    EXPECT_EQ(Tracked::clears, 1);
    a.reset();
    EXPECT_EQ(Tracked::clears, 1);
    B(p)->Delete(p);
}

TEST(ArrayElements, OwnedStringMayBeCopiedFromInsideTheOldOne)
{
    Obj a = new_array();
    A(a.get())->PutStringCopyAt(a.get(), "prefix-tail", 0);
    const char *old = get(a.get(), 0).text();
    EXPECT_EQ(A(a.get())->PutStringCopyAt(a.get(), old + 7, 0), 0);
    EXPECT_STREQ(get(a.get(), 0).text(), "tail");
}

TEST(ArrayElements, MissingValuesAreRefusedWithoutChange)
{
    Obj a = new_array();
    A(a.get())->PutIntAt(a.get(), 5, 0);
    EXPECT_EQ(A(a.get())->PutAt(a.get(), nullptr, Integer, 0), StatusBadType);
    EXPECT_EQ(A(a.get())->PutAt(a.get(), nullptr, Double, 3), StatusBadType);
    EXPECT_EQ(A(a.get())->PutAt(a.get(), nullptr, Boolean, 0), StatusBadType);
    EXPECT_EQ(A(a.get())->PutStringCopyAt(a.get(), nullptr, 0), StatusBadType);
    EXPECT_EQ(get(a.get(), 0).integer(), 5);
    EXPECT_EQ(used_count(a.get()), 1);
    // Borrowed kinds may hold NULL.
    EXPECT_EQ(A(a.get())->PutStringAt(a.get(), nullptr, 1), 0);
    EXPECT_EQ(A(a.get())->PutObjectCopyAt(a.get(), nullptr, 2), 0);
    EXPECT_EQ(A(a.get())->ClearAt(a.get(), 2), 0);
}

TEST(ArrayElements, TagsAboveNineAreStoredAsPointers)
{
    Obj a = new_array();
    int x;
    EXPECT_EQ(A(a.get())->PutAt(a.get(), &x, 12, 0), 0);
    Read r = get(a.get(), 0);
    EXPECT_EQ(r.tag, 12);
    EXPECT_EQ(r.value, &x);
}

TEST(ArrayElements, ReadsExtendUpToTheInitialSize)
{
    Obj a = new_array();
    Read r = get(a.get(), 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.tag, Null);
    EXPECT_EQ(used_count(a.get()), 1);
    EXPECT_EQ(get(a.get(), 1).status, StatusOutOfRange);

    Obj b = new_array();
    A(b.get())->SetSizes(b.get(), 4, 10);
    EXPECT_EQ(get(b.get(), 4).status, 0);
    EXPECT_EQ(used_count(b.get()), 5);
    EXPECT_EQ(get(b.get(), 5).status, StatusOutOfRange);
    EXPECT_EQ(used_count(b.get()), 5);
}

TEST(ArrayElements, EmptyArrayHasNoLastElement)
{
    Obj a = new_array();
    EXPECT_EQ(get(a.get(), -1).status, StatusOutOfRange);
    void *v;
    int32_t t;
    EXPECT_EQ(A(a.get())->Previous(a.get(), &v, &t), StatusOutOfRange);
    EXPECT_EQ(A(a.get())->Next(a.get(), &v, &t), StatusOutOfRange);
    EXPECT_EQ(layout(a.get())->elements, nullptr);
    EXPECT_EQ(A(a.get())->GetAt(a.get(), nullptr, nullptr, 0), 0) << "outputs may be NULL";
}

TEST(ArrayElements, ForwardWalkVisitsEveryPositionThenEnds)
{
    Obj a = new_array();
    for (int i = 0; i < 40; ++i) A(a.get())->PutIntAt(a.get(), i * 10, -2);
    A(a.get())->SetIndex(a.get(), 0);
    void *v;
    int32_t t;
    int seen = 0;
    while (A(a.get())->Next(a.get(), &v, &t) == 0) {
        EXPECT_EQ(*static_cast<int32_t *>(v), seen * 10);
        ++seen;
    }
    EXPECT_EQ(seen, 40);
    int32_t index = -1;
    EXPECT_EQ(A(a.get())->GetIndex(a.get(), &index), 0);
    EXPECT_EQ(index, 40);
    EXPECT_EQ(A(a.get())->Next(a.get(), &v, &t), StatusOutOfRange);
}

TEST(ArrayElements, BackwardWalksFromEitherEndVisitEveryPosition)
{
    Obj a = new_array();
    for (int i = 0; i < 5; ++i) A(a.get())->PutIntAt(a.get(), i, -2);
    for (int32_t start : {-1, -2}) {
        A(a.get())->SetIndex(a.get(), start);
        void *v;
        int32_t t;
        std::vector<int> order;
        while (A(a.get())->Previous(a.get(), &v, &t) == 0) order.push_back(*static_cast<int32_t *>(v));
        EXPECT_EQ(order, (std::vector<int>{4, 3, 2, 1, 0})) << start;
        int32_t index = 0;
        EXPECT_EQ(A(a.get())->GetIndex(a.get(), &index), StatusOutOfRange) << "cursor in front of 0";
        // Next from in front of position 0 starts over at 0.
        ASSERT_EQ(A(a.get())->Next(a.get(), &v, &t), 0);
        EXPECT_EQ(*static_cast<int32_t *>(v), 0);
    }
}

TEST(ArrayElements, PreviousReadsAtTheCursorNotBeforeIt)
{
    Obj a = new_array();
    for (int i = 0; i < 5; ++i) A(a.get())->PutIntAt(a.get(), i, -2);
    A(a.get())->SetIndex(a.get(), 1);
    void *v;
    int32_t t;
    A(a.get())->Next(a.get(), &v, &t);  // reads 1, cursor 2
    ASSERT_EQ(A(a.get())->Previous(a.get(), &v, &t), 0);
    EXPECT_EQ(*static_cast<int32_t *>(v), 2);
    EXPECT_EQ(cursor(a.get()), 1);
}

TEST(ArrayElements, ClearAtReleasesAndLeavesTheCursorThere)
{
    Obj a = new_array();
    EXPECT_EQ(A(a.get())->ClearAt(a.get(), 7), 0) << "nothing to clear in a never-written array";
    QuolanObject *o = Tracked::make_raw();
    Tracked::clears = 0;
    A(a.get())->PutObjectCopyAt(a.get(), o, 0);
    A(a.get())->PutIntAt(a.get(), 1, 1);
    A(a.get())->PutIntAt(a.get(), 2, 2);
    EXPECT_EQ(A(a.get())->ClearAt(a.get(), 0), 0);
    EXPECT_EQ(Tracked::clears, 1);
    Read r = get(a.get(), 0);
    EXPECT_EQ(r.tag, Null);
    EXPECT_EQ(r.value, nullptr);
    EXPECT_EQ(A(a.get())->ClearAt(a.get(), 1), 0);
    EXPECT_EQ(cursor(a.get()), 1);
    EXPECT_EQ(used_count(a.get()), 3) << "clearing never shrinks the array";
    EXPECT_EQ(A(a.get())->ClearAt(a.get(), -2), StatusOutOfRange);
    EXPECT_EQ(A(a.get())->ClearAt(a.get(), 3), StatusOutOfRange);
    EXPECT_EQ(A(a.get())->ClearAt(a.get(), -1), 0);
    EXPECT_EQ(get(a.get(), 2).tag, Null);
}

TEST(ArrayElements, DeleteReleasesEveryOwnedKind)
{
    Tracked::clears = 0;
    {
        Obj a = new_array();
        for (int i = 0; i < 3; ++i) A(a.get())->PutObjectCopyAt(a.get(), Tracked::make_raw(), -2);
        A(a.get())->PutStringCopyAt(a.get(), "text", -2);
        A(a.get())->PutPtrCopyAt(a.get(), std::malloc(3), -2);
        // A nested array owning its own objects goes with it.
        Obj inner = new_array();
        A(inner.get())->PutObjectCopyAt(inner.get(), Tracked::make_raw(), 0);
        A(a.get())->PutObjectCopyAt(a.get(), inner.release(), -2);
    }
    EXPECT_EQ(Tracked::clears, 4);
}

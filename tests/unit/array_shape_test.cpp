// Shape, indexing and growth of Array.
#include <climits>

#include "support.h"

using namespace qt;

TEST(ArrayShape, FreshArrayIsEmptyWithCursorAtZero)
{
    Obj a = new_array();
    int32_t initial = -1, maximum = -1, index = -1;
    EXPECT_EQ(A(a.get())->GetSizes(a.get(), &initial, &maximum), 0);
    EXPECT_EQ(initial, 0);
    EXPECT_EQ(maximum, 0);
    EXPECT_EQ(A(a.get())->GetIndex(a.get(), &index), 0);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(layout(a.get())->elements, nullptr);
}

TEST(ArrayShape, SetIndexAcceptsZeroAndSpecialIndexesOnly)
{
    Obj a = new_array();
    EXPECT_EQ(A(a.get())->SetIndex(a.get(), 0), 0);
    EXPECT_EQ(A(a.get())->SetIndex(a.get(), 1), StatusOutOfRange);
    for (int i = 0; i < 5; ++i) A(a.get())->PutIntAt(a.get(), i, -2);
    EXPECT_EQ(A(a.get())->SetIndex(a.get(), -2), 0);
    EXPECT_EQ(cursor(a.get()), 5);
    EXPECT_EQ(A(a.get())->SetIndex(a.get(), -1), 0);
    EXPECT_EQ(cursor(a.get()), 4);
    EXPECT_EQ(A(a.get())->SetIndex(a.get(), 5), StatusOutOfRange);
    EXPECT_EQ(cursor(a.get()), 4) << "a refused index moves nothing";
    EXPECT_EQ(A(a.get())->SetIndex(a.get(), -3), StatusOutOfRange);
    EXPECT_EQ(A(a.get())->SetIndex(a.get(), INT_MIN), StatusOutOfRange);
}

TEST(ArrayShape, StorageGrowsInStepsOf32AndFillsGapsWithNull)
{
    Obj a = new_array();
    A(a.get())->PutIntAt(a.get(), 1, 0);
    EXPECT_EQ(layout(a.get())->capacity, 32);
    A(a.get())->PutIntAt(a.get(), 1, 31);
    EXPECT_EQ(layout(a.get())->capacity, 32);
    A(a.get())->PutIntAt(a.get(), 1, 32);
    EXPECT_EQ(layout(a.get())->capacity, 64);

    Obj b = new_array();
    EXPECT_EQ(A(b.get())->PutIntAt(b.get(), 7, 100), 0);
    EXPECT_EQ(used_count(b.get()), 101);
    EXPECT_EQ(layout(b.get())->capacity, 128);
    for (int i = 0; i < 100; ++i) {
        Read r = get(b.get(), i);
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.tag, Null);
        EXPECT_EQ(r.value, nullptr);
    }
    EXPECT_EQ(get(b.get(), 100).integer(), 7);
}

TEST(ArrayShape, MaximumSizeBoundsGrowthAndPositions)
{
    Obj a = new_array();
    A(a.get())->SetSizes(a.get(), 10, 10);
    EXPECT_EQ(A(a.get())->PutIntAt(a.get(), 9, 9), 0);
    EXPECT_EQ(layout(a.get())->capacity, 10);
    EXPECT_EQ(A(a.get())->PutIntAt(a.get(), 10, 10), StatusOutOfRange);
    EXPECT_EQ(A(a.get())->PutIntAt(a.get(), 10, -2), StatusOutOfRange);
    EXPECT_EQ(used_count(a.get()), 10);
}

TEST(ArrayShape, InitialSizeIsReportedAndNeverExceedsTheMaximum)
{
    Obj a = new_array();
    A(a.get())->SetSizes(a.get(), 5, 100);
    int32_t initial = 0, maximum = 0;
    EXPECT_EQ(A(a.get())->GetSizes(a.get(), &initial, &maximum), 5);
    EXPECT_EQ(initial, 5);
    EXPECT_EQ(maximum, 100);
    A(a.get())->SetSizes(a.get(), 5, 0);  // the smaller of the two: no bound, no initial size
    EXPECT_EQ(A(a.get())->GetSizes(a.get(), &initial, &maximum), 0);
    EXPECT_EQ(initial, 0);
    EXPECT_EQ(maximum, 0);
    A(a.get())->SetSizes(a.get(), 50, 20);
    EXPECT_EQ(A(a.get())->GetSizes(a.get(), &initial, nullptr), 20);
    // With a bound, growth covers at least the initial size.
    A(a.get())->PutIntAt(a.get(), 1, 0);
    EXPECT_EQ(layout(a.get())->capacity, 20);
}

TEST(ArrayShape, GrowthBeyondInt32IsRefusedAndChangesNothing)
{
    Obj a = new_array();
    A(a.get())->PutIntAt(a.get(), 3, 0);
    EXPECT_EQ(A(a.get())->PutIntAt(a.get(), 4, INT_MAX - 1), StatusNoMemory);
    EXPECT_EQ(A(a.get())->PutIntAt(a.get(), 4, INT_MAX), StatusNoMemory);
    EXPECT_EQ(used_count(a.get()), 1);
    EXPECT_EQ(layout(a.get())->capacity, 32);
    EXPECT_EQ(get(a.get(), 0).integer(), 3);
}

TEST(ArrayShape, ClearForgetsEverythingAndTheArrayStaysUsable)
{
    Obj a = new_array();
    A(a.get())->SetSizes(a.get(), 4, 8);
    A(a.get())->PutStringCopyAt(a.get(), "owned", 0);
    A(a.get())->PutIntAt(a.get(), 2, 5);
    B(a.get())->Clear(a.get());
    auto *l = layout(a.get());
    EXPECT_EQ(l->elements, nullptr);
    EXPECT_EQ(l->dimensions, nullptr);
    EXPECT_EQ(l->cursors, nullptr);
    EXPECT_EQ(l->capacity, 0);
    int32_t maximum = -1;
    EXPECT_EQ(A(a.get())->GetSizes(a.get(), nullptr, &maximum), 0);
    EXPECT_EQ(maximum, 0) << "sizes are forgotten with the table";
    EXPECT_EQ(A(a.get())->PutIntAt(a.get(), 9, 20), 0);
    EXPECT_EQ(used_count(a.get()), 21);
}

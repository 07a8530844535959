// Shape, indexing and growth of Array.  Long random sequences hold sizes,
// cursors and capacity against a model elsewhere; these are the rules a
// model run may take long to hit.
#include <climits>

#include "support.h"

using namespace qt;

TEST(ArrayShape, StorageGrowsInStepsOf32AndFillsGapsWithNull)
{
    Obj a = new_array();
    const int32_t steps[][2] = {{0, 32}, {31, 32}, {32, 64}, {100, 128}};  // position, capacity
    for (auto [position, capacity] : steps) {
        A(a.get())->PutIntAt(a.get(), 7, position);
        EXPECT_EQ(layout(a.get())->capacity, capacity) << position;
    }
    EXPECT_EQ(used_count(a.get()), 101);
    for (int i = 33; i < 100; ++i) ASSERT_EQ(get(a.get(), i).tag, Null) << i;
    // Growth beyond int32 is refused and changes nothing.
    for (int32_t position : {INT_MAX - 1, INT_MAX})
        EXPECT_EQ(A(a.get())->PutIntAt(a.get(), 4, position), StatusNoMemory);
    EXPECT_EQ(used_count(a.get()), 101);
    EXPECT_EQ(layout(a.get())->capacity, 128);
    EXPECT_EQ(A(a.get())->SetIndex(a.get(), INT_MIN), StatusOutOfRange);
}

TEST(ArrayShape, ABoundCapsGrowthAboveTheInitialSizeAndClearForgetsBoth)
{
    Obj a = new_array();
    A(a.get())->SetSizes(a.get(), 50, 20);  // the initial size is the smaller, 20
    A(a.get())->PutIntAt(a.get(), 1, 12);
    EXPECT_EQ(layout(a.get())->capacity, 20);
    B(a.get())->Clear(a.get());
    auto *l = layout(a.get());
    EXPECT_TRUE(!l->elements && !l->dimensions && !l->cursors && !l->capacity);
    EXPECT_EQ(A(a.get())->GetSizes(a.get(), nullptr, nullptr), 0);
}

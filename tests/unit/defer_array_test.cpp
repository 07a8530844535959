// ArrayDefer: loader keys recorded by position and loaded on first read.
#include "defer_support.h"

using namespace qt;

namespace {

struct DeferredArray : WithLoader {
    Obj arr = make(array_deferclass_init());
    QuolanObject *a = arr.get();

    void SetUp() override
    {
        WithLoader::SetUp();
        AD(a)->SetLoader(a, loader.get());
    }
    int32_t defer(int32_t key, int32_t index) { return AD(a)->PutDeferredAt(a, &key, Integer, index); }
    Read deferred(int32_t index)
    {
        return read([&](void **v, int32_t *t) { return AD(a)->GetDeferredAt(a, v, t, index); });
    }
};

TEST_F(DeferredArray, FirstReadLoadsOnceAndTheArrayKeepsItsOwnCopy)
{
    ASSERT_EQ(defer(1, 0), 0);
    EXPECT_EQ(deferred(0).integer(), 1);
    Read first = get(a, 0);
    EXPECT_EQ(first.tag, OwnedString);
    EXPECT_STREQ(first.text(), "one");
    Read again = get(a, 0);
    EXPECT_EQ(loader_calls, 1);
    EXPECT_NE(again.value, first.value);  // the first answer was the loader's own text
    EXPECT_EQ(deferred(0).tag, Null);
    loader.reset();
    EXPECT_STREQ(get(a, 0).text(), "one");
}

TEST_F(DeferredArray, WritesClearsAndNullKeysDropKeysWithoutLoading)
{
    Tracked::clears = 0;
    A(a)->PutObjectCopyAt(a, Tracked::make_raw(), 0);
    for (int32_t i = 0; i < 4; ++i) defer(2, i);
    EXPECT_EQ(Tracked::clears, 1);  // recording over a value releases it
    A(a)->PutIntAt(a, 7, 0);
    A(a)->ClearAt(a, 1);
    AD(a)->PutDeferredAt(a, nullptr, Null, 2);
    defer(3, 3);  // a second key replaces the first
    EXPECT_EQ(get(a, 0).integer(), 7);
    EXPECT_EQ(get(a, 1).tag, Null);
    EXPECT_EQ(get(a, 2).tag, Null);
    EXPECT_EQ(loader_calls, 0);
    EXPECT_EQ(get(a, 3).real(), 3.5);
    EXPECT_EQ(loader_calls, 1);
    // Owned loader keys are released when dropped, loaded or not.
    for (int32_t i = 4; i <= 6; ++i) AD(a)->PutDeferredAt(a, Tracked::make_raw(), OwnedObject, i);
    A(a)->PutIntAt(a, 1, 4);
    A(a)->ClearAt(a, 5);
    EXPECT_EQ(Tracked::clears, 3);
    arr.reset();
    EXPECT_EQ(Tracked::clears, 4);
    EXPECT_EQ(loader_calls, 1);
}

TEST_F(DeferredArray, FailedOrLoaderlessReadsKeepTheKey)
{
    defer(9, 0);
    Read miss = get(a, 0);
    EXPECT_EQ(miss.status, StatusOutOfRange);
    EXPECT_EQ(miss.tag, Null);
    A(a)->SetIndex(a, 0);
    EXPECT_EQ(A(a)->Next(a, nullptr, nullptr), StatusOutOfRange);  // the walk ends there

    AD(a)->SetLoader(a, nullptr);
    int32_t reports = quolan_testing_assert_reports();
    Read r = get(a, 0);
    EXPECT_EQ(r.status, StatusFailed);
    EXPECT_EQ(r.tag, Null);
    EXPECT_EQ(r.value, nullptr);
    EXPECT_EQ(A(a)->GetAt(a, nullptr, nullptr, 0), StatusFailed);
    EXPECT_EQ(quolan_testing_assert_reports(), reports + 2);
    EXPECT_EQ(deferred(0).integer(), 9);

    AD(a)->SetLoader(a, loader.get());
    map_key(loader.get(), 9, &two, Integer);
    EXPECT_EQ(A(a)->GetAt(a, nullptr, nullptr, 0), 0);  // loads with nowhere to answer
    EXPECT_EQ(get(a, 0).integer(), 2);
    EXPECT_EQ(loader_calls, 3);
}

// The store is shorter than the array here; -1 must still mean the array's
// last position for both, or writes would drop other positions' keys.
TEST_F(DeferredArray, SpecialIndexesNameTheContainersPositions)
{
    EXPECT_EQ(get(a, -1).status, StatusOutOfRange);
    defer(1, -2);
    defer(2, -2);
    EXPECT_EQ(deferred(1).integer(), 2);
    A(a)->PutIntAt(a, 9, 4);
    A(a)->PutIntAt(a, 8, -1);
    EXPECT_EQ(get(a, -1).integer(), 8);
    EXPECT_EQ(get(a, -2).status, StatusOutOfRange);
    EXPECT_EQ(deferred(-2).status, StatusOutOfRange);
    EXPECT_EQ(deferred(-1).status, StatusOutOfRange);  // past the store's last key
    defer(3, -1);
    EXPECT_EQ(deferred(4).integer(), 3);
    A(a)->ClearAt(a, -1);
    EXPECT_EQ(deferred(4).tag, Null);
    EXPECT_EQ(deferred(0).integer(), 1);
    EXPECT_EQ(deferred(1).integer(), 2);
    EXPECT_EQ(loader_calls, 0);
    defer(3, -1);
    EXPECT_EQ(get(a, -1).real(), 3.5);
    EXPECT_EQ(loader_calls, 1);
}

TEST_F(DeferredArray, RefusesStreamsAndCopiesAndClearDropsTheStoreForGood)
{
    defer(1, 0);
    defer(2, 1);
    int32_t status = 0;
    EXPECT_TRUE(saved(a, &status).empty());
    EXPECT_EQ(status, StatusFailed);
    Obj in = stream_from(Bytes().i32(0).i32(7).v);
    EXPECT_EQ(B(a)->Load(a, in.get(), 0), StatusFailed);
    EXPECT_EQ(B(array_deferclass)->NewFromStream(array_deferclass, in.get(), 0), nullptr);
    EXPECT_EQ(quolan_stream_methods(in.get())->ReadInt32(in.get()), 0);  // nothing was read
    EXPECT_EQ(B(a)->Copy(a, a), nullptr);
    EXPECT_EQ(reinterpret_cast<QuolanObject **>(a)[64 / 8], loader.get()) << "the loader's pinned field";
    B(a)->Clear(a);
    EXPECT_EQ(loader_calls, 0);
    EXPECT_EQ(defer(1, 0), StatusFailed);
    EXPECT_EQ(deferred(0).status, StatusFailed);
    EXPECT_EQ(A(a)->PutIntAt(a, 4, 0), 0);
    EXPECT_EQ(get(a, 0).integer(), 4);
    EXPECT_EQ(AD(a)->GetLoader(a), loader.get());
}

}  // namespace

// DictDefer: loader keys recorded under dictionary keys and loaded on first
// read, by key or by a walk.  The deferral itself is ArrayDefer's, checked
// there; here is what keys add to it.
#include "defer_support.h"

using namespace qt;

namespace {

struct DeferredDict : WithLoader {
    Obj dict = make(dict_deferclass_init());
    QuolanObject *d = dict.get();

    void SetUp() override
    {
        WithLoader::SetUp();
        DD(d)->SetLoader(d, loader.get());
    }
    int32_t defer(int32_t *key, const char *name) { return DD(d)->PutDeferredStringKey(d, key, Integer, name); }
    Read by_key(const char *k)
    {
        return read([&](void **v, int32_t *t) { return D(d)->GetStringKey(d, v, t, k); });
    }
    Read deferred(const char *k)
    {
        return read([&](void **v, int32_t *t) { return DD(d)->GetDeferredStringKey(d, v, t, k); });
    }
};

TEST_F(DeferredDict, RefusesStreamsAndCopies)
{
    EXPECT_EQ(reinterpret_cast<QuolanObject **>(d)[72 / 8], loader.get()) << "the loader's pinned field";
    EXPECT_EQ(DD(d)->GetLoader(d), loader.get());
    int32_t status = 0;
    EXPECT_TRUE(saved(d, &status).empty());
    EXPECT_EQ(status, StatusFailed);
    EXPECT_EQ(B(dict_deferclass)->NewFromStream(dict_deferclass, stream_from(Bytes().i32(0).v).get(), 0), nullptr);
    EXPECT_EQ(B(d)->Copy(dict_deferclass, d), nullptr);
}

TEST_F(DeferredDict, StringKeyLoadsOnFirstReadOnly)
{
    char key[] = "a";
    ASSERT_EQ(defer(&one, key), 0);
    key[0] = 'z';  // the dictionary keeps its own copy of the key text
    EXPECT_EQ(deferred("a").integer(), 1);
    EXPECT_STREQ(by_key("a").text(), "one");
    EXPECT_STREQ(by_key("a").text(), "one");
    EXPECT_EQ(loader_calls, 1);
    EXPECT_EQ(deferred("a").status, 0);
    EXPECT_EQ(deferred("a").tag, Null);
}

TEST_F(DeferredDict, KeyedWritesReplaceDropAndClearEntries)
{
    Tracked::clears = 0;
    D(d)->PutKey(d, Tracked::make_raw(), OwnedObject, K("obj"), String);
    defer(&two, "obj");
    EXPECT_EQ(Tracked::clears, 1);
    EXPECT_EQ(deferred("obj").integer(), 2);
    defer(&one, "plain");
    D(d)->PutIntStringKey(d, 5, "plain");
    EXPECT_EQ(by_key("plain").integer(), 5);
    EXPECT_EQ(deferred("plain").tag, Null);
    DD(d)->PutDeferredStringKey(d, Tracked::make_raw(), OwnedObject, "gone");
    EXPECT_EQ(D(d)->ClearKey(d, K("gone"), String), 0);
    EXPECT_EQ(Tracked::clears, 2);
    EXPECT_EQ(D(d)->StringSymbolIndex(d, "gone"), -1);
    EXPECT_EQ(deferred("gone").status, StatusOutOfRange);
    EXPECT_EQ(deferred(nullptr).status, StatusOutOfRange);
    EXPECT_EQ(defer(&one, nullptr), StatusBadType);
    EXPECT_EQ(loader_calls, 0);
    EXPECT_EQ(by_key("obj").integer(), 42);
}

TEST_F(DeferredDict, WalksAndPositionalReadsLoadAndClearDropsTheStoreForGood)
{
    defer(&one, "a");
    D(d)->PutIntStringKey(d, 3, "b");
    defer(&two, "c");
    defer(&nine, "d");
    A(d)->SetIndex(d, 0);
    EXPECT_EQ(walk(d, true), (std::vector<int32_t>{-1, 3, 42})) << "\"d\" is unknown to the loader";
    EXPECT_EQ(deferred("d").integer(), 9);
    map_key(loader.get(), 9, &one, Integer);
    EXPECT_EQ(get(d, D(d)->StringSymbolIndex(d, "d")).integer(), 1);
    EXPECT_EQ(loader_calls, 4);
    defer(&one, "e");
    B(d)->Clear(d);
    EXPECT_EQ(loader_calls, 4);
    D(d)->PutIntStringKey(d, 4, "k");
    EXPECT_EQ(defer(&one, "k"), StatusFailed);
    EXPECT_EQ(deferred("k").status, StatusFailed);
    EXPECT_EQ(by_key("k").integer(), 4);
}

// A deferred dictionary is itself a loader; a read through it loads on the way.
TEST_F(DeferredDict, ServesAsLoaderOfADeferredArray)
{
    DD(d)->PutDeferredKey(d, &two, Integer, &one, Integer);
    Obj arr = make(array_deferclass_init());
    AD(arr.get())->SetLoader(arr.get(), d);
    AD(arr.get())->PutDeferredAt(arr.get(), &one, Integer, 0);
    EXPECT_EQ(get(arr.get(), 0).integer(), 42);
    EXPECT_EQ(loader_calls, 1);
    EXPECT_EQ(DD(d)->GetDeferredKey(d, nullptr, nullptr, &one, Integer), 0);
}

}  // namespace

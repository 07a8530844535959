// What the model cannot see of the deferred containers: how often the loader
// is asked, the assertion service's reports, streams left unread; and a
// deferred dictionary serving as the loader of a deferred array.
#include "support.h"

using namespace qt;

namespace {

struct Deferred : ::testing::Test {
    Obj loader = counting_loader(), arr = make(array_deferclass_init());
    QuolanObject *a = arr.get();

    void SetUp() override { AD(a)->SetLoader(a, loader.get()); }
    int32_t defer(int32_t key, int32_t index) { return AD(a)->PutDeferredAt(a, &key, Integer, index); }
};

TEST_F(Deferred, EachKeyReachesTheLoaderOnceAndTheArrayKeepsItsOwnCopy)
{
    ASSERT_EQ(defer(1, 0), 0);
    Read first = get(a, 0);
    EXPECT_EQ(first.tag, OwnedString);
    EXPECT_STREQ(first.text(), "one");
    Read again = get(a, 0);
    EXPECT_EQ(loader_calls, 1);
    EXPECT_NE(again.value, first.value) << "the first answer was the loader's own text";
    loader.reset();
    EXPECT_STREQ(get(a, 0).text(), "one");
}

TEST_F(Deferred, FailedAndLoaderlessReadsKeepTheKeyAndAreReported)
{
    defer(9, 0);
    EXPECT_EQ(get(a, 0).status, StatusOutOfRange);
    AD(a)->SetLoader(a, nullptr);
    int32_t reports = quolan_testing_assert_reports();
    Read r = get(a, 0);
    EXPECT_EQ(r.status, StatusFailed);
    EXPECT_EQ(r.value, nullptr);
    EXPECT_EQ(A(a)->GetAt(a, nullptr, nullptr, 0), StatusFailed);
    EXPECT_EQ(quolan_testing_assert_reports(), reports + 2);

    AD(a)->SetLoader(a, loader.get());
    int32_t two = 2, nine = 9;
    D(loader.get())->PutKey(loader.get(), &two, Integer, &nine, Integer);
    EXPECT_EQ(A(a)->GetAt(a, nullptr, nullptr, 0), 0) << "loads with nowhere to answer";
    EXPECT_EQ(get(a, 0).integer(), 2);
    EXPECT_EQ(loader_calls, 2);
}

TEST_F(Deferred, StreamsAreLeftUnread)
{
    defer(1, 0);
    for (QuolanObject *cls : {array_deferclass, dict_deferclass_init()}) {
        Obj o = make(cls), in = stream_from(Bytes().i32(0).i32(7).v);
        EXPECT_EQ(B(o.get())->Load(o.get(), in.get(), 0), StatusFailed);
        EXPECT_EQ(B(cls)->NewFromStream(cls, in.get(), 0), nullptr);
        EXPECT_EQ(quolan_stream_methods(in.get())->ReadInt32(in.get()), 0) << "nothing was read";
    }
    EXPECT_EQ(loader_calls, 0);
}

TEST_F(Deferred, ADeferredDictionaryServesAsLoader)
{
    Obj dict = make(dict_deferclass_init());
    QuolanObject *d = dict.get();
    int32_t one = 1, two = 2;
    DD(d)->SetLoader(d, loader.get());
    DD(d)->PutDeferredKey(d, &two, Integer, &one, Integer);
    AD(a)->SetLoader(a, d);
    defer(1, 0);
    EXPECT_EQ(get(a, 0).integer(), 42);
    EXPECT_EQ(loader_calls, 1);
    Read k{0, 0, nullptr};
    EXPECT_EQ(DD(d)->GetDeferredKey(d, &k.value, &k.tag, &one, Integer), 0);
    EXPECT_EQ(k.tag, Null) << "loaded on the way";
}

}  // namespace

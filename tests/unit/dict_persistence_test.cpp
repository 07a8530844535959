// Dict on streams (two array records, keys first) and Dict copies.
#include "support.h"

using namespace qt;

namespace {

// "a" -> 1, a free position where "b" was, borrowed "c" -> borrowed "v",
// and a Boolean put by position only.
Obj sample()
{
    Obj d = new_dict();
    D(d.get())->PutIntStringKey(d.get(), 1, "a");
    D(d.get())->PutIntStringKey(d.get(), 2, "b");
    D(d.get())->PutKey(d.get(), K("v"), String, K("c"), String);
    D(d.get())->ClearKey(d.get(), K("b"), String);
    A(d.get())->PutBooleanAt(d.get(), 1, 3);
    return d;
}

const ByteVec kSample = Bytes()
    .i32(3).i32(4).str("a").i32(0).i32(4).str("c")
    .i32(4).i32(1).i32(1).i32(0).i32(4).str("v").i32(9).byte(1).v;

}  // namespace

TEST(DictPersistence, RecordsRoundTripKeepingPositionsAndFreeHoles)
{
    EXPECT_EQ(saved(new_dict().get()), Bytes().i32(0).i32(0).v);
    EXPECT_EQ(saved(sample().get()), kSample);

    Obj d = new_dict();
    ASSERT_EQ(load(d.get(), kSample), 0);
    EXPECT_EQ(saved(d.get()), kSample);
    void *key = nullptr;
    int32_t kind = 0;
    D(d.get())->GetSymbol(d.get(), &key, &kind, 2);
    EXPECT_EQ(kind, OwnedString);  // a borrowed key comes back owned
    EXPECT_EQ(D(d.get())->StringSymbolIndex(d.get(), "c"), 2);
    D(d.get())->PutIntStringKey(d.get(), 7, "new");
    EXPECT_EQ(D(d.get())->StringSymbolIndex(d.get(), "new"), 1);
}

TEST(DictPersistence, PointersRefusedModesAndMissingStreamsFail)
{
    Obj d = new_dict();
    int marker = 0;
    D(d.get())->PutIntStringKey(d.get(), 1, "a");
    EXPECT_EQ(B(d.get())->Load(d.get(), nullptr, 0), StatusFailed);
    EXPECT_EQ(load(d.get(), Bytes().i32(0).i32(0).v, 1), StatusFailed);
    D(d.get())->PutKey(d.get(), &marker, Integer, &marker, Pointer);
    int32_t status = 0;
    EXPECT_EQ(saved(d.get(), &status), Bytes().i32(2).i32(4).str("a").i32(7).v);
    EXPECT_EQ(status, StatusBadType);
    EXPECT_EQ(load(d.get(), Bytes().i32(1).i32(3).v), StatusBadType);
}

// Cut short anywhere, a record with a nested dictionary must be refused
// without leaking what was half built.
TEST(DictPersistence, LoadRefusesEveryTruncationOfANestedRecord)
{
    Obj outer = new_dict();
    D(outer.get())->PutKey(outer.get(), sample().release(), OwnedObject, K("in"), OwnedString);
    D(outer.get())->PutDoubleStringKey(outer.get(), -0.5, "d");
    ByteVec full = saved(outer.get());
    ASSERT_EQ(load(new_dict().get(), full), 0);
    expect_every_cut_refused(full, new_dict);
}

// Copies of every kind are held against a model elsewhere; a set, which
// cannot be copied, fails the copy of a dictionary holding it either way.
TEST(DictPersistence, ASetFailsTheCopyAsAValueOrAsAKey)
{
    Obj d = new_dict(), e = new_dict();
    int32_t one = 1;
    D(d.get())->PutKey(d.get(), &one, Integer, new_set().release(), OwnedObject);
    EXPECT_EQ(B(d.get())->Copy(d.get(), d.get()), nullptr);
    D(e.get())->PutStringKey(e.get(), new_set().release(), OwnedObject, "s");
    EXPECT_EQ(B(e.get())->Copy(e.get(), e.get()), nullptr);
}

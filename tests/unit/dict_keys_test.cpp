// Where Dict places a new key.  Every keyed operation, the search and its
// cursors included, is held against a model elsewhere.
#include "support.h"

using namespace qt;

TEST(DictKeys, NewKeysTakeTheLastFreePositionThenAppend)
{
    Obj d = new_dict();
    auto *m = D(d.get());
    EXPECT_EQ(m->StringSymbolIndex(d.get(), "k0"), -1);
    ASSERT_NE(store_of(d.get()), nullptr);  // even a lookup makes the key store
    const char *keys[] = {"k0", "k1", "k2", "k3", "k4", "x", "y", "z"};
    for (int i = 0; i < 5; ++i) m->PutIntStringKey(d.get(), i, keys[i]);
    m->ClearKey(d.get(), K("k1"), String);
    m->ClearKey(d.get(), K("k3"), OwnedString);
    for (int i = 5; i < 8; ++i) EXPECT_EQ(m->PutIntStringKey(d.get(), i, keys[i]), 0);
    const std::pair<const char *, int32_t> where[] = {{"x", 3}, {"y", 1}, {"z", 5}, {"k4", 4}};
    for (auto [key, at] : where) EXPECT_EQ(m->StringSymbolIndex(d.get(), key), at) << key;
    EXPECT_STREQ(m->GetStringSymbol(d.get(), 1), "y");
    EXPECT_EQ(m->GetStringKey(d.get(), nullptr, nullptr, "k1"), StatusOutOfRange) << "outputs may be NULL";
    EXPECT_EQ(m->PutIntStringKey(d.get(), 1, nullptr), StatusBadType) << "a missing text names no key";
    EXPECT_EQ(m->ClearKey(d.get(), nullptr, Integer), StatusOutOfRange) << "nor does a missing number";
}

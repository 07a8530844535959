// Putting, reading and removing values by key, and the keyed walk.
#include "dict_support.h"

using namespace qt;

namespace {

Obj abc()  // keys "a", "b", "c" at positions 0, 1, 2 holding 1, 2, 3
{
    Obj d = new_dict();
    for (int i = 0; i < 3; ++i) D(d.get())->PutIntStringKey(d.get(), i + 1, std::string(1, 'a' + i).c_str());
    return d;
}

Read by_key(QuolanObject *d, const char *key)
{
    Read r{0, -99, &r};
    r.status = D(d)->GetStringKey(d, &r.value, &r.tag, key);
    return r;
}

}  // namespace

TEST(DictKeyed, PutsReplaceValuesInPlaceAndAbsentKeysReadEmpty)
{
    Obj d = abc();
    auto *m = D(d.get());
    EXPECT_EQ(m->PutStringKey(d.get(), K("text"), OwnedString, "b"), 0);
    EXPECT_EQ(m->PutDoubleStringKey(d.get(), 2.5, "b"), 0);
    EXPECT_EQ(used_count(store_of(d.get())), 3);
    void *v = nullptr;
    int32_t tag = 0;
    ASSERT_EQ(m->GetKey(d.get(), &v, &tag, K("b"), OwnedString), 0);
    EXPECT_EQ(tag == Double ? *static_cast<double *>(v) : 0.0, 2.5);
    Read r = by_key(d.get(), "zz");
    EXPECT_EQ(r.status, StatusOutOfRange);
    EXPECT_EQ(r.tag, Null);
    EXPECT_EQ(r.value, nullptr);
    EXPECT_EQ(m->ClearKey(d.get(), K("zz"), String), StatusOutOfRange);
}

TEST(DictKeyed, ClearKeyFreesThePositionAndWalksFromEitherEndPassOverIt)
{
    Obj d = abc();
    Tracked::clears = 0;
    D(d.get())->PutStringKey(d.get(), Tracked::make_raw(), OwnedObject, "b");
    EXPECT_EQ(D(d.get())->ClearKey(d.get(), K("b"), String), 0);
    EXPECT_EQ(Tracked::clears, 1);
    EXPECT_EQ(by_key(d.get(), "b").status, StatusOutOfRange);
    A(d.get())->SetIndex(d.get(), 0);
    EXPECT_EQ(walk(d.get(), true), (std::vector<int32_t>{1, 3}));
    // From the end of a forward walk Previous starts at the last position,
    // and from in front of position 0 Next starts at position 0.
    EXPECT_EQ(walk(d.get(), false), (std::vector<int32_t>{3, 1}));
    EXPECT_EQ(walk(d.get(), true), (std::vector<int32_t>{1, 3}));
    D(d.get())->PutIntStringKey(d.get(), 4, "d");
    EXPECT_EQ(D(d.get())->StringSymbolIndex(d.get(), "d"), 1);
}

TEST(DictKeyed, WalkPassesOverValuesPutByPositionAndStopsAtTheLastKey)
{
    Obj d = abc();
    D(d.get())->ClearKey(d.get(), K("a"), String);
    A(d.get())->PutIntAt(d.get(), 10, 0);  // keyless, before the keys
    A(d.get())->PutIntAt(d.get(), 40, 4);  // keyless, beyond the key store
    A(d.get())->SetIndex(d.get(), 0);
    EXPECT_EQ(walk(d.get(), true), (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(cursor(d.get()), 3);
    A(d.get())->SetIndex(d.get(), -2);
    EXPECT_EQ(walk(d.get(), false), std::vector<int32_t>{});
    A(d.get())->SetIndex(d.get(), 2);
    EXPECT_EQ(walk(d.get(), false), (std::vector<int32_t>{3, 2}));
    EXPECT_EQ(cursor(d.get()), -1);
    EXPECT_EQ(walk(d.get(), true), (std::vector<int32_t>{2, 3}));

    Obj plain = new_dict();  // never had a key store: an array's walk
    for (int i = 0; i < 3; ++i) A(plain.get())->PutIntAt(plain.get(), i, -2);
    A(plain.get())->SetIndex(plain.get(), 0);
    EXPECT_EQ(walk(plain.get(), true), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(walk(plain.get(), false), (std::vector<int32_t>{2, 1, 0}));
}

// A client subclass refusing odd integers in PutAt and every ClearAt, and
// counting PutKey calls: keyed operations reach the overrides, a refused
// value leaves no new key behind, and a value that stays keeps its key.
namespace {
int put_key_calls = 0;
int32_t picky_put(QuolanObject *self, void *v, int32_t tag, int32_t index)
{
    if (tag == Integer && *static_cast<int32_t *>(v) % 2) return StatusBadType;
    return A(array_baseclass)->PutAt(self, v, tag, index);
}
int32_t counting_put_key(QuolanObject *self, void *v, int32_t tag, void *key, int32_t kind)
{
    ++put_key_calls;
    return D(dict_baseclass)->PutKey(self, v, tag, key, kind);
}
int32_t refuse_clear(QuolanObject *, int32_t) { return StatusLocked; }
int32_t no_get_key(QuolanObject *, void **, int32_t *, void *, int32_t) { return StatusFailed; }
}  // namespace

TEST(DictKeyed, RefusedValueWithdrawsOnlyANewKey)
{
    QuolanObject *sub = subclass_of(dict_baseclass_init(), DictSlot_Count);
    auto *t = reinterpret_cast<DictMethods *>(sub->methods);
    t->PutAt = picky_put;
    t->PutKey = counting_put_key;
    t->ClearAt = refuse_clear;
    t->GetKey = no_get_key;  // GetStringKey does its own lookup
    Obj d = make(sub);
    auto *m = D(d.get());
    put_key_calls = 0;
    EXPECT_EQ(m->PutIntStringKey(d.get(), 2, "a"), 0);
    EXPECT_EQ(m->PutIntStringKey(d.get(), 3, "new"), StatusBadType);
    EXPECT_EQ(m->PutDoubleStringKey(d.get(), 1.0, "b"), 0);
    EXPECT_EQ(put_key_calls, 3);
    EXPECT_EQ(m->StringSymbolIndex(d.get(), "new"), -1);
    EXPECT_EQ(m->StringSymbolIndex(d.get(), "b"), 1);  // took the withdrawn position
    EXPECT_EQ(m->PutIntStringKey(d.get(), 5, "a"), StatusBadType);
    EXPECT_EQ(m->ClearKey(d.get(), K("a"), String), StatusLocked);
    Read r = by_key(d.get(), "a");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.integer(), 2);
}

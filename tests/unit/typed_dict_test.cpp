// DictTyped: bindings made through keys, refused puts and the keys and
// bindings they leave, keyless positions, copy.
#include <cmath>

#include "typed_support.h"

using namespace qt;

namespace {

int32_t index_of(QuolanObject *d, const char *key) { return D(d)->StringSymbolIndex(d, key); }
std::string type_of(QuolanObject *d, const char *key) { return type_at(d, index_of(d, key)); }
void *text(const char *t) { return const_cast<char *>(t); }

}  // namespace

TEST(DictTyped, KeysCarryTheirPositionsBindings)
{
    Obj d = new_typed_dict();
    auto *m = TD(d.get());
    EXPECT_EQ(m->PutIntStringKey(d.get(), 5, "n"), 0);
    EXPECT_EQ(type_of(d.get(), "n"), "Integer");
    EXPECT_EQ(m->PutDoubleStringKey(d.get(), 1.5, "n"), StatusBadType);
    EXPECT_EQ(m->ClearKey(d.get(), text("n"), String), 0);
    EXPECT_EQ(m->PutStringKey(d.get(), text("v"), String, "n"), 0) << "a cleared key binds anew";

    EXPECT_EQ(m->SetStringKeyType(d.get(), "Double", "k"), StatusOutOfRange);
    EXPECT_EQ(index_of(d.get(), "k"), -1) << "no key is created for a type";
    EXPECT_EQ(m->PutStringKey(d.get(), nullptr, Null, "k"), 0);
    EXPECT_EQ(type_of(d.get(), "k"), "Null");
    EXPECT_EQ(m->SetStringKeyType(d.get(), "Double", "k"), 0);
    int32_t seven = 7;
    EXPECT_EQ(m->CheckStringKeyType(d.get(), &seven, Integer, "k"), StatusNeedsDouble);
    EXPECT_EQ(m->PutIntStringKey(d.get(), 7, "k"), 0);
    Read r{0, 0, nullptr};
    D(d.get())->GetStringKey(d.get(), &r.value, &r.tag, "k");
    EXPECT_EQ(r.tag, Double);
    EXPECT_EQ(r.real(), 7.0);

    // Keys of any kind; a check binds an untyped key's position, storing nothing.
    int32_t key = 42;
    m->PutKey(d.get(), nullptr, Null, &key, Integer);
    int32_t at = D(d.get())->SymbolIndex(d.get(), &key, Integer);
    m->ClearAt(d.get(), at);
    double half = 0.5;
    EXPECT_EQ(m->CheckKeyType(d.get(), &half, Double, &key, Integer), 0);
    EXPECT_EQ(type_at(d.get(), at), "Double");
    EXPECT_EQ(get(d.get(), at).tag, Null);
    EXPECT_EQ(m->SetKeyType(d.get(), "Boolean", &half, Double), StatusOutOfRange);
    EXPECT_EQ(m->SetStringKeyType(d.get(), "Double", nullptr), StatusOutOfRange);
}

TEST(DictTyped, RefusedPutsWithdrawNewKeysButMayLeaveBindings)
{
    Obj d = new_typed_dict();
    auto *m = TD(d.get());
    m->PutIntStringKey(d.get(), 1, "a");
    m->PutIntStringKey(d.get(), 2, "b");
    m->SetAccess(d.get(), ReadOnly);
    EXPECT_EQ(m->PutIntStringKey(d.get(), 5, "c"), StatusLocked);
    EXPECT_EQ(index_of(d.get(), "c"), -1);
    EXPECT_EQ(type_at(d.get(), 2), "Integer") << "position 2 lay beyond the values";
    m->SetAccess(d.get(), ReadWrite);
    EXPECT_EQ(m->PutDoubleStringKey(d.get(), 2.5, "d"), StatusBadType) << "reuses position 2";
    // Under an existing untyped key a refused put binds and keeps the key.
    m->ClearAt(d.get(), 1);
    m->SetAccess(d.get(), ReadOnly);
    EXPECT_EQ(m->PutDoubleStringKey(d.get(), 2.5, "b"), StatusLocked);
    EXPECT_EQ(index_of(d.get(), "b"), 1);
    EXPECT_EQ(type_at(d.get(), 1), "Double");
    // Locked: no retyping, and only a position with a type list admits.
    m->SetLock(d.get(), 1);
    EXPECT_EQ(m->SetStringKeyType(d.get(), "String", "absent"), StatusLocked) << "before the lookup";
    EXPECT_EQ(m->SetAccess(d.get(), ReadWrite), StatusLocked);
    m->SetLock(d.get(), 0);
    m->SetAccess(d.get(), ReadWrite);
    m->SetLock(d.get(), 1);
    EXPECT_EQ(m->PutIntStringKey(d.get(), 3, "new"), 0) << "the binding left at 2 admits it";
    EXPECT_EQ(m->PutIntStringKey(d.get(), 3, "newer"), StatusOutOfRange) << "no list at 3";
    EXPECT_EQ(index_of(d.get(), "newer"), -1);
}

TEST(DictTyped, PositionsWithoutAReadableKeyRecordNothing)
{
    Obj d = new_typed_dict();
    auto *m = TD(d.get());
    m->PutIntStringKey(d.get(), 1, "a");
    m->PutIntStringKey(d.get(), 2, "b");
    m->ClearKey(d.get(), text("a"), String);
    EXPECT_EQ(m->PutStringCopyAt(d.get(), "loose", 0), 0) << "admitted by its own name";
    EXPECT_EQ(type_at(d.get(), 0), "-");
    EXPECT_EQ(m->PutIntAt(d.get(), 9, 0), 0) << "and still untyped";
    EXPECT_EQ(m->PutIntAt(d.get(), 9, 5), StatusFailedFlag) << "no key there to read";
    EXPECT_EQ(used_count(d.get()), 2);
    // A NaN key is entered, but the binding cannot find it again.
    double nan = std::nan("");
    int32_t one = 1;
    EXPECT_EQ(m->PutKey(d.get(), &one, Integer, &nan, Double), StatusOutOfRange);
    EXPECT_EQ(type_at(d.get(), 0), "-");
}

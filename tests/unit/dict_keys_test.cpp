// Dict as a class, and how keys are compared, found and placed.
#include <cmath>

#include "dict_support.h"

using namespace qt;

TEST(DictClass, VersionsNamesAndMethodsFollowItsPlaceUnderArray)
{
    QuolanObject *cls = dict_baseclass_init();
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(dict_baseclass_init(), cls);
    Obj d = new_dict();
    auto *b = B(d.get());
    EXPECT_EQ(b->GetVersion(d.get(), nullptr), 0x03030100);
    EXPECT_EQ(b->GetVersion(d.get(), "Array"), 0x02030100);
    char name[16] = "", array[] = "Array";
    EXPECT_EQ(b->IsA(d.get(), name), 1);
    EXPECT_STREQ(name, "Dict");
    EXPECT_EQ(b->IsA(d.get(), array), 1);
    EXPECT_EQ(b->GetMethod(d.get(), "StringSymbolIndex"), d->methods[31]);
    EXPECT_EQ(b->GetMethod(d.get(), "ClearKey"), d->methods[41]);
    // Found through Array's names, yet the keyed walk of the dictionary.
    EXPECT_EQ(b->GetMethod(d.get(), "Next"), d->methods[28]);
    EXPECT_NE(d->methods[28], array_baseclass->methods[28]);
}

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
    EXPECT_EQ(m->StringSymbolIndex(d.get(), "x"), 3);
    EXPECT_EQ(m->StringSymbolIndex(d.get(), "y"), 1);
    EXPECT_EQ(m->StringSymbolIndex(d.get(), "z"), 5);
    EXPECT_EQ(m->StringSymbolIndex(d.get(), "k4"), 4);
    EXPECT_STREQ(m->GetStringSymbol(d.get(), 1), "y");
}

TEST(DictKeys, KindsMatchByFamilyButPointerKindsStayApart)
{
    Obj d = new_dict();
    auto *m = D(d.get());
    char text[] = "Key";
    int32_t seven = 7, yes = 1;
    double seven_d = 7.0, zero = 0.0, minus_zero = -0.0, nan = std::nan("");
    QuolanObject *obj = Tracked::make_raw();
    void *block = std::malloc(4);
    void *keys[] = {text, obj, block, &seven, &zero, &yes, &yes};
    int32_t kinds[] = {OwnedString, OwnedObject, OwnedPointer, Integer, Double, Boolean, Boolean};
    for (int i = 0; i < 7; ++i) ASSERT_EQ(m->PutKey(d.get(), &seven, Integer, keys[i], kinds[i]), 0);
    text[0] = 'k';  // the key store holds its own copy of the text
    EXPECT_EQ(m->StringSymbolIndex(d.get(), "Key"), 0);
    EXPECT_EQ(m->StringSymbolIndex(d.get(), "key"), -1);
    EXPECT_EQ(m->SymbolIndex(d.get(), K("Key"), OwnedString), 0);
    EXPECT_EQ(m->SymbolIndex(d.get(), obj, Object), 1);
    EXPECT_EQ(m->SymbolIndex(d.get(), block, Pointer), -1);
    EXPECT_EQ(m->SymbolIndex(d.get(), block, OwnedPointer), 2);
    EXPECT_EQ(m->SymbolIndex(d.get(), &seven_d, Double), -1);
    EXPECT_EQ(m->SymbolIndex(d.get(), &minus_zero, Double), 4);
    // A NaN matches nothing, itself included; nor does a Boolean key (compared
    // by the pointer a read hands out): each put of either takes a new position.
    m->PutKey(d.get(), &seven, Integer, &nan, Double);
    m->PutKey(d.get(), &seven, Integer, &nan, Double);
    EXPECT_EQ(used_count(store_of(d.get())), 9);
    EXPECT_EQ(m->SymbolIndex(d.get(), &nan, Double), -1);
    void *key = nullptr;
    EXPECT_EQ(m->GetSymbol(d.get(), &key, nullptr, 3), 0);
    EXPECT_EQ(*static_cast<int32_t *>(key), 7);
    EXPECT_EQ(m->GetStringSymbol(d.get(), 3), nullptr);
    EXPECT_EQ(m->GetSymbol(d.get(), &key, nullptr, 9), 1);
}

TEST(DictKeys, SearchMovesOnlyTheKeyStoreCursorAsAWalkWould)
{
    Obj d = new_dict();
    for (int i = 0; i < 4; ++i) D(d.get())->PutIntStringKey(d.get(), i, std::to_string(i).c_str());
    A(d.get())->SetIndex(d.get(), 2);
    QuolanObject *store = store_of(d.get());
    EXPECT_EQ(D(d.get())->StringSymbolIndex(d.get(), "1"), 1);
    EXPECT_EQ(cursor(store), 2);
    EXPECT_EQ(layout(store)->current_slot, 1);
    EXPECT_EQ(D(d.get())->StringSymbolIndex(d.get(), "none"), -1);
    EXPECT_EQ(cursor(store), 4);
    EXPECT_EQ(layout(store)->current_slot, 3);
    EXPECT_EQ(cursor(d.get()), 2);
}

TEST(DictKeys, MissingTextOrNumberKeysAreAbsentAndRefused)
{
    Obj d = new_dict();
    auto *m = D(d.get());
    int32_t one = 1;
    EXPECT_EQ(m->PutStringKey(d.get(), &one, Integer, nullptr), StatusBadType);
    EXPECT_EQ(m->PutKey(d.get(), &one, Integer, nullptr, Double), StatusBadType);
    EXPECT_EQ(m->StringSymbolIndex(d.get(), nullptr), -1);
    EXPECT_EQ(m->GetStringKey(d.get(), nullptr, nullptr, nullptr), StatusOutOfRange);
    EXPECT_EQ(m->ClearKey(d.get(), nullptr, Integer), StatusOutOfRange);
    EXPECT_EQ(used_count(store_of(d.get())), 0);
}

// DictTyped: class identity, bindings made through keys, the key-type
// methods, refused puts and the keys they leave, keyless positions, copy.
#include <cmath>

#include "typed_support.h"

using namespace qt;

namespace {

int32_t index_of(QuolanObject *d, const char *key) { return D(d)->StringSymbolIndex(d, key); }
std::string type_of(QuolanObject *d, const char *key) { return type_at(d, index_of(d, key)); }
Read get_key(QuolanObject *d, const char *key)
{
    Read r{0, -99, nullptr};
    r.status = D(d)->GetStringKey(d, &r.value, &r.tag, key);
    return r;
}

}  // namespace

TEST(DictTypedClass, CreatedOnceWithItsVersionsAndNames)
{
    QuolanObject *cls = dict_typedclass_init();
    ASSERT_NE(cls, nullptr);
    int32_t calls = quolan_testing_subclass_calls();
    EXPECT_EQ(dict_typedclass_init(), cls);
    EXPECT_EQ(quolan_testing_subclass_calls(), calls);
    EXPECT_EQ(cls->size, 88u);

    Obj d = new_typed_dict();
    EXPECT_EQ(B(d.get())->GetVersion(d.get(), nullptr), 0x04030100);
    EXPECT_EQ(B(d.get())->GetVersion(d.get(), "DictTyped"), 0x04030100);
    EXPECT_EQ(B(d.get())->GetVersion(d.get(), "Dict"), 0x03030100);
    EXPECT_EQ(B(d.get())->GetVersion(d.get(), "Array"), 0x02030100);
    char name[16] = "";
    EXPECT_EQ(B(d.get())->IsA(d.get(), name), 1);
    EXPECT_STREQ(name, "DictTyped");
    char array[] = "Array", dict[] = "Dict", set[] = "GenSet";
    EXPECT_NE(B(d.get())->IsA(d.get(), array), 0);
    EXPECT_NE(B(d.get())->IsA(d.get(), dict), 0);
    EXPECT_EQ(B(d.get())->IsA(d.get(), set), 0);
}

TEST(DictTypedClass, NamedMethodsHideSetLock)
{
    Obj d = new_typed_dict();
    const char *names[] = {"SetStringKeyType", "SetKeyType", "CheckStringKeyType",
                           "CheckKeyType",     "SetAccess",  "GetAccess"};
    for (int slot = 42; slot <= 47; ++slot)
        EXPECT_EQ(B(d.get())->GetMethod(d.get(), names[slot - 42]), d->methods[slot]) << slot;
    EXPECT_EQ(B(d.get())->GetMethod(d.get(), "SetLock"), nullptr);
    EXPECT_EQ(B(d.get())->GetMethod(d.get(), "SetSlotType"), nullptr);
    EXPECT_EQ(B(d.get())->GetMethod(d.get(), "SymbolIndex"), d->methods[32]);
}

TEST(DictTypedBinding, FirstValueUnderAKeyBindsItsPosition)
{
    Obj d = new_typed_dict();
    auto *m = TD(d.get());
    EXPECT_EQ(m->PutIntStringKey(d.get(), 5, "n"), 0);
    EXPECT_EQ(type_of(d.get(), "n"), "Integer");
    EXPECT_EQ(m->PutDoubleStringKey(d.get(), 1.5, "n"), StatusBadType);
    EXPECT_EQ(get_key(d.get(), "n").integer(), 5);
    EXPECT_EQ(m->PutIntStringKey(d.get(), 6, "n"), 0);
    // ClearKey unbinds: the same key may then take another kind.
    EXPECT_EQ(m->ClearKey(d.get(), const_cast<char *>("n"), String), 0);
    EXPECT_EQ(m->PutStringKey(d.get(), const_cast<char *>("text"), String, "n"), 0);
    EXPECT_EQ(type_of(d.get(), "n"), "String");
}

TEST(DictTypedBinding, KeyTypesNeedAnExistingKey)
{
    Obj d = new_typed_dict();
    auto *m = TD(d.get());
    EXPECT_EQ(m->SetStringKeyType(d.get(), "Double", "k"), StatusOutOfRange);
    EXPECT_EQ(index_of(d.get(), "k"), -1) << "no key is created for a type";
    EXPECT_EQ(m->PutStringKey(d.get(), nullptr, Null, "k"), 0);
    EXPECT_EQ(type_of(d.get(), "k"), "Null");
    EXPECT_EQ(m->SetStringKeyType(d.get(), "Double", "k"), 0);
    EXPECT_EQ(m->PutIntStringKey(d.get(), 7, "k"), 0);
    Read r = get_key(d.get(), "k");
    EXPECT_EQ(r.tag, Double);
    EXPECT_EQ(r.real(), 7.0);
    // Keys of any kind, found as SymbolIndex finds them.
    int32_t key = 42;
    ASSERT_EQ(m->PutKey(d.get(), nullptr, Null, &key, Integer), 0);
    EXPECT_EQ(m->SetKeyType(d.get(), "Boolean", &key, Integer), 0);
    EXPECT_EQ(type_at(d.get(), D(d.get())->SymbolIndex(d.get(), &key, Integer)), "Boolean");
    double same_number = 42.0;
    EXPECT_EQ(m->SetKeyType(d.get(), "Boolean", &same_number, Double), StatusOutOfRange);
    EXPECT_EQ(m->SetStringKeyType(d.get(), "Double", nullptr), StatusOutOfRange);
    EXPECT_EQ(m->SetKeyType(d.get(), nullptr, &key, Integer), StatusBadType);
}

TEST(DictTypedBinding, CheckAnswersLikeAPutAndStoresNothing)
{
    Obj d = new_typed_dict();
    auto *m = TD(d.get());
    int32_t seven = 7;
    double half = 0.5;
    EXPECT_EQ(m->CheckStringKeyType(d.get(), &seven, Integer, "absent"), StatusOutOfRange);
    ASSERT_EQ(m->PutStringKey(d.get(), nullptr, Null, "x"), 0);
    ASSERT_EQ(m->SetStringKeyType(d.get(), "Double", "x"), 0);
    EXPECT_EQ(m->CheckStringKeyType(d.get(), &seven, Integer, "x"), StatusNeedsDouble);
    EXPECT_EQ(m->CheckStringKeyType(d.get(), &half, Double, "x"), 0);
    EXPECT_EQ(get_key(d.get(), "x").tag, Null);
    // An untyped key's position is bound by the check itself.
    ASSERT_EQ(m->PutIntStringKey(d.get(), 1, "y"), 0);
    ASSERT_EQ(m->ClearAt(d.get(), index_of(d.get(), "y")), 0);
    EXPECT_EQ(type_of(d.get(), "y"), "-");
    char key[] = "y";
    EXPECT_EQ(m->CheckKeyType(d.get(), &half, Double, key, OwnedString), 0);
    EXPECT_EQ(type_of(d.get(), "y"), "Double");
    EXPECT_EQ(get_key(d.get(), "y").tag, Null);
}

TEST(DictTypedBinding, ObjectsAreBoundByFamily)
{
    Obj d = new_typed_dict();
    Obj plain_dict = make(dict_baseclass_init());
    Obj plain_array = new_array();
    Obj set = make(genset_baseclass_init());
    auto *m = TD(d.get());
    EXPECT_EQ(m->PutStringKey(d.get(), plain_dict.get(), Object, "o"), 0);
    EXPECT_EQ(type_of(d.get(), "o"), "Object-Array");
    EXPECT_EQ(m->PutStringKey(d.get(), plain_array.get(), Object, "o"), 0);
    EXPECT_EQ(m->PutStringKey(d.get(), set.get(), Object, "o"), StatusBadType);
}

TEST(DictTypedRefusals, ARefusedNewKeyIsWithdrawnButItsBindingMayStay)
{
    Obj d = new_typed_dict();
    auto *m = TD(d.get());
    m->PutIntStringKey(d.get(), 1, "a");
    m->PutIntStringKey(d.get(), 2, "b");
    ASSERT_EQ(m->SetAccess(d.get(), ReadOnly), 0);
    EXPECT_EQ(m->PutIntStringKey(d.get(), 5, "c"), StatusLocked);
    EXPECT_EQ(index_of(d.get(), "c"), -1);
    EXPECT_EQ(type_at(d.get(), 2), "Integer") << "position 2 lay beyond the values";
    ASSERT_EQ(m->SetAccess(d.get(), ReadWrite), 0);
    EXPECT_EQ(m->PutDoubleStringKey(d.get(), 2.5, "d"), StatusBadType)
        << "the next new key reuses position 2 and meets its binding";
    EXPECT_EQ(index_of(d.get(), "d"), -1);

    // A refused put under an existing untyped key binds it and keeps the key.
    ASSERT_EQ(m->ClearAt(d.get(), 1), 0);
    ASSERT_EQ(m->SetAccess(d.get(), ReadOnly), 0);
    EXPECT_EQ(m->PutDoubleStringKey(d.get(), 2.5, "b"), StatusLocked);
    EXPECT_EQ(index_of(d.get(), "b"), 1);
    EXPECT_EQ(type_at(d.get(), 1), "Double");
}

TEST(DictTypedRefusals, LockedDictionaryRefusesNewKindsAndRetyping)
{
    Obj d = new_typed_dict();
    auto *m = TD(d.get());
    m->PutIntStringKey(d.get(), 1, "a");
    m->SetLock(d.get(), 1);
    EXPECT_EQ(m->SetStringKeyType(d.get(), "String", "a"), StatusLocked);
    EXPECT_EQ(m->SetStringKeyType(d.get(), "String", "absent"), StatusLocked)
        << "the lock answers before the key is looked up";
    EXPECT_EQ(m->SetAccess(d.get(), ReadOnly), StatusLocked);
    EXPECT_EQ(m->PutIntStringKey(d.get(), 2, "a"), 0);
    EXPECT_EQ(m->PutIntStringKey(d.get(), 3, "new"), StatusOutOfRange)
        << "no type list there, and none may be bound";
    EXPECT_EQ(index_of(d.get(), "new"), -1);
    m->SetLock(d.get(), 0);
    EXPECT_EQ(m->PutIntStringKey(d.get(), 3, "new"), 0);
}

TEST(DictTypedKeyless, PutsByPositionWithoutAKeyRecordNothing)
{
    Obj d = new_typed_dict();
    auto *m = TD(d.get());
    m->PutIntStringKey(d.get(), 1, "a");
    m->PutIntStringKey(d.get(), 2, "b");
    ASSERT_EQ(m->ClearKey(d.get(), const_cast<char *>("a"), String), 0);
    // Position 0 has no key now: the value is admitted by its own name and
    // no binding is recorded anywhere.
    EXPECT_EQ(m->PutStringCopyAt(d.get(), "loose", 0), 0);
    EXPECT_EQ(type_at(d.get(), 0), "-");
    EXPECT_EQ(type_at(d.get(), 1), "Integer");
    EXPECT_EQ(m->PutIntAt(d.get(), 9, 0), 0) << "still untyped";
    // Beyond the key store the key cannot be read: refused with GetSymbol's 1.
    EXPECT_EQ(m->PutIntAt(d.get(), 9, 5), StatusFailedFlag);
    EXPECT_EQ(used_count(d.get()), 2);
    // A new key reusing the free position starts untyped.
    EXPECT_EQ(m->PutDoubleStringKey(d.get(), 0.5, "c"), 0);
    EXPECT_EQ(index_of(d.get(), "c"), 0);
    EXPECT_EQ(type_of(d.get(), "c"), "Double");
}

TEST(DictTypedKeyless, KeysThatNeverMatchCannotCarryABinding)
{
    // A NaN key is entered, but the binding looks it up again and cannot
    // find it, so the put fails and the key is withdrawn.
    Obj d = new_typed_dict();
    double nan = std::nan("");
    int32_t one = 1;
    EXPECT_EQ(TD(d.get())->PutKey(d.get(), &one, Integer, &nan, Double), StatusOutOfRange);
    EXPECT_EQ(type_at(d.get(), 0), "-");
    void *key = nullptr;
    int32_t kind = -1;
    EXPECT_EQ(D(d.get())->GetSymbol(d.get(), &key, &kind, 0), 0);
    EXPECT_EQ(kind, Null);
}

TEST(DictTypedParking, ParkedObjectsBehaveAsInTheArray)
{
    Obj d = new_typed_dict();
    auto *m = TD(d.get());
    QuolanObject *object = Tracked::make_raw();
    ASSERT_EQ(m->PutStringKey(d.get(), object, OwnedObject, "o"), 0);
    ASSERT_EQ(m->SetStringKeyType(d.get(), "Object-,Null", "o"), 0);
    Tracked::clears = 0;
    ASSERT_EQ(m->PutStringKey(d.get(), nullptr, Null, "o"), 0);
    EXPECT_EQ(get_key(d.get(), "o").value, object);
    EXPECT_EQ(Tracked::clears, 0);
    EXPECT_EQ(m->ClearKey(d.get(), const_cast<char *>("o"), String), 0);
    EXPECT_EQ(Tracked::clears, 1);
    EXPECT_EQ(type_at(d.get(), 0), "-");
}

TEST(DictTypedCopy, CopyKeepsKeysValuesAndListsButNotLockOrAccess)
{
    Obj d = new_typed_dict();
    auto *m = TD(d.get());
    m->PutIntStringKey(d.get(), 1, "a");
    m->PutStringKey(d.get(), const_cast<char *>("v"), OwnedString, "b");
    m->SetAccess(d.get(), ReadOnly);
    m->SetLock(d.get(), 3);

    Obj copy(B(d.get())->Copy(d.get(), d.get()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->methods, dict_typedclass->methods);
    EXPECT_EQ(typed_fields(copy.get()).lock, 0);
    EXPECT_EQ(TD(copy.get())->GetAccess(copy.get()), ReadWrite);
    EXPECT_EQ(get_key(copy.get(), "a").integer(), 1);
    EXPECT_STREQ(get_key(copy.get(), "b").text(), "v");
    EXPECT_EQ(type_of(copy.get(), "b"), "String");
    EXPECT_EQ(TD(copy.get())->PutDoubleStringKey(copy.get(), 1, "a"), StatusBadType);
    EXPECT_EQ(TD(copy.get())->ClearKey(copy.get(), const_cast<char *>("a"), String), 0);
    EXPECT_EQ(type_of(d.get(), "a"), "Integer") << "the source keeps its own lists";

    Obj plain = make(dict_baseclass_init());
    EXPECT_EQ(B(d.get())->Copy(d.get(), plain.get()), nullptr) << "not a typed dictionary";
}

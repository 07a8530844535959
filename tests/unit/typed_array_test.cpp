// ArrayTyped: class identity, binding, refusals, conversion, parked objects,
// access mode, lock and copy.
#include "typed_support.h"

using namespace qt;

TEST(ArrayTypedClass, CreatedOnceWithItsVersionsAndNames)
{
    QuolanObject *cls = array_typedclass_init();
    ASSERT_NE(cls, nullptr);
    int32_t calls = quolan_testing_subclass_calls();
    EXPECT_EQ(array_typedclass_init(), cls);
    EXPECT_EQ(quolan_testing_subclass_calls(), calls);
    EXPECT_EQ(cls->size, 80u);

    Obj a = new_typed_array();
    EXPECT_EQ(B(a.get())->GetVersion(a.get(), nullptr), 0x03030100);
    EXPECT_EQ(B(a.get())->GetVersion(a.get(), "ArrayTyped"), 0x03030100);
    EXPECT_EQ(B(a.get())->GetVersion(a.get(), "Array"), 0x02030100);
    char name[16] = "";
    EXPECT_EQ(B(a.get())->IsA(a.get(), name), 1);
    EXPECT_STREQ(name, "ArrayTyped");
    char array[] = "Array", dict[] = "Dict";
    EXPECT_NE(B(a.get())->IsA(a.get(), array), 0);
    EXPECT_EQ(B(a.get())->IsA(a.get(), dict), 0);
}

TEST(ArrayTypedClass, NamedMethodsHideSetLock)
{
    Obj a = new_typed_array();
    const char *names[] = {"SetSlotType", "CheckSlotType", "SetAccess", "GetAccess"};
    for (int slot = 31; slot <= 34; ++slot)
        EXPECT_EQ(B(a.get())->GetMethod(a.get(), names[slot - 31]), a->methods[slot]) << slot;
    EXPECT_EQ(B(a.get())->GetMethod(a.get(), "SetLock"), nullptr);
    EXPECT_NE(a->methods[35], nullptr);
    // Inherited names resolve to this class's overrides.
    EXPECT_EQ(B(a.get())->GetMethod(a.get(), "GetAt"), a->methods[27]);
    EXPECT_NE(a->methods[27], array_baseclass_init()->methods[27]);
}

TEST(ArrayTypedBinding, FirstValueDecidesThePositionsKind)
{
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    EXPECT_EQ(m->PutIntAt(a.get(), 5, 0), 0);
    EXPECT_EQ(type_at(a.get(), 0), "Integer");
    EXPECT_EQ(m->PutDoubleAt(a.get(), 1.5, 0), StatusBadType);
    EXPECT_EQ(m->PutStringCopyAt(a.get(), "x", 0), StatusBadType);
    EXPECT_EQ(get(a.get(), 0).integer(), 5) << "a refused put changes nothing";
    EXPECT_EQ(m->PutIntAt(a.get(), 6, 0), 0);
    EXPECT_EQ(get(a.get(), 0).integer(), 6);
    // A Null put binds "Null": only Null is admitted until the binding changes.
    EXPECT_EQ(m->PutAt(a.get(), nullptr, Null, 1), 0);
    EXPECT_EQ(m->PutIntAt(a.get(), 1, 1), StatusBadType);
    EXPECT_EQ(m->SetSlotType(a.get(), "Integer,Null", 1), 0);
    EXPECT_EQ(m->PutIntAt(a.get(), 1, 1), 0);
    // ClearAt unbinds: the next put binds anew.
    EXPECT_EQ(m->ClearAt(a.get(), 0), 0);
    EXPECT_EQ(type_at(a.get(), 0), "-");
    EXPECT_EQ(m->PutStringCopyAt(a.get(), "now text", 0), 0);
    EXPECT_EQ(type_at(a.get(), 0), "String");
}

TEST(ArrayTypedBinding, CheckBindsButWritesNoValue)
{
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    char text[] = "t";
    EXPECT_EQ(m->CheckSlotType(a.get(), text, String, 3), 0);
    EXPECT_EQ(type_at(a.get(), 3), "String");
    EXPECT_EQ(used_count(a.get()), 0);
    int32_t seven = 7;
    EXPECT_EQ(m->CheckSlotType(a.get(), &seven, Integer, 3), StatusBadType);
    EXPECT_EQ(m->SetSlotType(a.get(), "Null", 3), 0) << "SetSlotType replaces a binding";
    EXPECT_EQ(type_at(a.get(), 3), "Null");
}

TEST(ArrayTypedBinding, AppendingIsNeverRefusedForItsType)
{
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    EXPECT_EQ(m->PutIntAt(a.get(), 1, -2), 0);
    EXPECT_EQ(m->PutStringCopyAt(a.get(), "two", -2), 0);
    EXPECT_EQ(m->PutDoubleAt(a.get(), 3, -2), 0);
    EXPECT_EQ(used_count(a.get()), 3);
    EXPECT_EQ(type_at(a.get(), 0), "Integer");
    EXPECT_EQ(type_at(a.get(), 1), "String");
    EXPECT_EQ(type_at(a.get(), 2), "Double");
    // -1 names the last position of each store: here both are position 2.
    EXPECT_EQ(m->PutStringAt(a.get(), "4", -1), StatusBadType);
    EXPECT_EQ(m->PutDoubleAt(a.get(), 4, -1), 0);
}

TEST(ArrayTypedConversion, IntegersBecomeDoublesWhereOnlyDoubleIsAdmitted)
{
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    ASSERT_EQ(m->SetSlotType(a.get(), "Double", 5), 0);
    int32_t seven = 7;
    EXPECT_EQ(m->CheckSlotType(a.get(), &seven, Integer, 5), StatusNeedsDouble);
    EXPECT_EQ(m->PutIntAt(a.get(), 7, 5), 0) << "the put converts instead of answering -10";
    Read r = get(a.get(), 5);
    EXPECT_EQ(r.tag, Double);
    EXPECT_EQ(r.real(), 7.0);
    EXPECT_EQ(m->PutIntAt(a.get(), -3, 5), 0) << "over an existing position too";
    EXPECT_EQ(get(a.get(), 5).real(), -3.0);
    // A list that names Integer first keeps Integers as they are.
    ASSERT_EQ(m->SetSlotType(a.get(), "Integer,Double", 6), 0);
    EXPECT_EQ(m->PutIntAt(a.get(), 8, 6), 0);
    EXPECT_EQ(get(a.get(), 6).tag, Integer);
    EXPECT_EQ(m->PutDoubleAt(a.get(), 8.5, 6), 0);
    EXPECT_EQ(get(a.get(), 6).tag, Double);
}

class ArrayTypedParking : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(TA(a.get())->SetSlotType(a.get(), "Object-,Null,Integer", 0), 0);
        ASSERT_EQ(TA(a.get())->PutObjectCopyAt(a.get(), object, 0), 0);
        Tracked::clears = 0;
    }
    void TearDown() override
    {
        a.reset();
        if (!array_owns) B(object)->Delete(object);
    }
    void park() { ASSERT_EQ(TA(a.get())->PutAt(a.get(), nullptr, Null, 0), 0); }

    Obj a = new_typed_array();
    QuolanObject *object = Tracked::make_raw();
    bool array_owns = true;  // cleared when the object is handed back to the test
};

TEST_F(ArrayTypedParking, NullOverAnOwnedObjectParksIt)
{
    park();
    Read r = get(a.get(), 0);
    EXPECT_EQ(r.tag, Null);
    EXPECT_EQ(r.value, object) << "a read shows the parked object";
    EXPECT_EQ(Tracked::clears, 0);
    park();  // Null over the parked object changes nothing
    EXPECT_EQ(get(a.get(), 0).value, object);
    // The same object comes back owned: neither copied nor deleted.
    EXPECT_EQ(TA(a.get())->PutObjectCopyAt(a.get(), object, 0), 0);
    EXPECT_EQ(get(a.get(), 0).tag, OwnedObject);
    EXPECT_EQ(Tracked::clears, 0);
    a.reset();
    EXPECT_EQ(Tracked::clears, 1);
}

TEST_F(ArrayTypedParking, ANullPutKeepsNoReferenceItWasGiven)
{
    // Only a parked object may sit in a Null element: whatever reference a
    // Null put carries is dropped, or ClearAt would delete it.
    ASSERT_EQ(TA(a.get())->PutAt(a.get(), object, Null, 4), 0);
    EXPECT_EQ(get(a.get(), 4).value, nullptr);
    EXPECT_EQ(TA(a.get())->ClearAt(a.get(), 4), 0);
    EXPECT_EQ(Tracked::clears, 0);
}

TEST_F(ArrayTypedParking, ClearAtAndDeleteDeleteTheParkedObject)
{
    park();
    EXPECT_EQ(TA(a.get())->ClearAt(a.get(), 0), 0);
    EXPECT_EQ(Tracked::clears, 1);
    EXPECT_EQ(get(a.get(), 0).value, nullptr);

    QuolanObject *second = Tracked::make_raw();
    ASSERT_EQ(TA(a.get())->PutObjectCopyAt(a.get(), second, 1), 0);
    ASSERT_EQ(TA(a.get())->PutAt(a.get(), nullptr, Null, 1), StatusBadType)
        << "position 1 was bound to the object's type";
    ASSERT_EQ(TA(a.get())->SetSlotType(a.get(), "Null,Object-", 1), 0);
    ASSERT_EQ(TA(a.get())->PutAt(a.get(), nullptr, Null, 1), 0);
    a.reset();
    EXPECT_EQ(Tracked::clears, 2);
}

TEST_F(ArrayTypedParking, AnotherValueReplacesAndDeletesTheParkedObject)
{
    park();
    EXPECT_EQ(TA(a.get())->PutIntAt(a.get(), 3, 0), 0);
    EXPECT_EQ(Tracked::clears, 1);
    EXPECT_EQ(get(a.get(), 0).integer(), 3);
}

TEST_F(ArrayTypedParking, BorrowingTheParkedObjectHandsItBack)
{
    park();
    EXPECT_EQ(TA(a.get())->PutObjectAt(a.get(), object, 0), 0);
    EXPECT_EQ(get(a.get(), 0).tag, Object);
    array_owns = false;
    a.reset();
    EXPECT_EQ(Tracked::clears, 0) << "the caller owns it now";
}

TEST_F(ArrayTypedParking, ParkedObjectsAreNeitherSavedNorCopied)
{
    park();
    std::vector<unsigned char> bytes = saved(a.get());
    Bytes expected;
    expected.i32(1).i32(4).str("Object-,Null,Integer").i32(1).i32(0).byte(0).i32(0);
    EXPECT_EQ(bytes, expected.v);
    Obj copy(B(a.get())->Copy(a.get(), a.get()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(get(copy.get(), 0).value, nullptr);
}

TEST(ArrayTypedAccess, ReadOnlyRefusesPutsAfterTheCheck)
{
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    m->PutIntAt(a.get(), 1, 0);
    EXPECT_EQ(m->SetAccess(a.get(), ReadOnly), 0);
    EXPECT_EQ(m->GetAccess(a.get()), ReadOnly);
    EXPECT_EQ(m->PutIntAt(a.get(), 2, 0), StatusLocked);
    EXPECT_EQ(m->PutStringAt(a.get(), "s", 0), StatusBadType) << "the check answers first";
    EXPECT_EQ(m->PutIntAt(a.get(), 3, 1), StatusLocked);
    EXPECT_EQ(type_at(a.get(), 1), "Integer") << "the refused put still bound the position";
    EXPECT_EQ(used_count(a.get()), 1);
    EXPECT_EQ(m->ClearAt(a.get(), 0), 0) << "clearing ignores the access mode";
    EXPECT_EQ(m->SetAccess(a.get(), 7), 0);
    EXPECT_EQ(m->GetAccess(a.get()), 7);
    EXPECT_EQ(m->PutIntAt(a.get(), 4, 1), StatusLocked) << "every nonzero mode refuses";
    EXPECT_EQ(m->SetAccess(a.get(), ReadWrite), 0);
    EXPECT_EQ(m->PutIntAt(a.get(), 4, 1), 0);
}

TEST(ArrayTypedLock, LockFreezesTypeListsAndAccess)
{
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    m->PutIntAt(a.get(), 1, 0);
    m->SetSlotType(a.get(), "Double", 2);  // leaves position 1 of the store Null
    m->SetLock(a.get(), 1);
    EXPECT_EQ(m->SetSlotType(a.get(), "String", 0), StatusLocked);
    EXPECT_EQ(m->SetAccess(a.get(), ReadOnly), StatusLocked);
    EXPECT_EQ(m->GetAccess(a.get()), ReadWrite);
    EXPECT_EQ(m->PutIntAt(a.get(), 2, 0), 0) << "typed positions still take their kind";
    EXPECT_EQ(m->PutIntAt(a.get(), 2, 2), 0);
    EXPECT_EQ(get(a.get(), 2).tag, Double);
    EXPECT_EQ(m->PutIntAt(a.get(), 2, 3), StatusOutOfRange) << "beyond the type store";
    EXPECT_EQ(m->PutIntAt(a.get(), 2, -2), StatusOutOfRange);
    EXPECT_EQ(m->PutIntAt(a.get(), 2, 1), StatusBadType) << "an untyped position admits nothing";
    EXPECT_EQ(type_at(a.get(), 3), "-");
    EXPECT_EQ(m->ClearAt(a.get(), 0), 0) << "clearing ignores the lock";
    m->SetLock(a.get(), 0);
    EXPECT_EQ(m->PutIntAt(a.get(), 2, 3), 0);
    EXPECT_EQ(type_at(a.get(), 3), "Integer");
}

TEST(ArrayTypedStore, WithoutATypeStoreTypedWorkIsRefused)
{
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    m->PutIntAt(a.get(), 1, 0);
    B(a.get())->Clear(a.get());
    EXPECT_EQ(typed_fields(a.get()).type_store, nullptr);
    int32_t one = 1;
    EXPECT_EQ(m->SetSlotType(a.get(), "Integer", 0), StatusNoMemory);
    EXPECT_EQ(m->CheckSlotType(a.get(), &one, Integer, 0), StatusNoMemory);
    EXPECT_EQ(m->PutIntAt(a.get(), 1, 0), StatusNoMemory);
    int32_t status = 0;
    EXPECT_TRUE(saved(a.get(), &status).empty());
    EXPECT_EQ(status, StatusNoMemory);
    EXPECT_EQ(load(a.get(), Bytes().i32(0).i32(0).byte(0).i32(0).v), StatusNoMemory);
    EXPECT_EQ(get(a.get(), 0).status, 0) << "reads and clears still work";
    EXPECT_EQ(m->ClearAt(a.get(), 0), 0);
}

TEST(ArrayTypedStore, NullArgumentsAreAnsweredNotFollowed)
{
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    EXPECT_EQ(m->SetSlotType(a.get(), nullptr, 0), StatusBadType);
    EXPECT_EQ(B(a.get())->Save(a.get(), nullptr, 0), StatusFailed);
    EXPECT_EQ(B(a.get())->Load(a.get(), nullptr, 0), StatusFailed);
    EXPECT_EQ(B(a.get())->Copy(a.get(), nullptr), nullptr);
    EXPECT_EQ(m->GetAt(a.get(), nullptr, nullptr, 0), 0);
    Obj plain = new_array();
    EXPECT_EQ(B(a.get())->Copy(a.get(), plain.get()), nullptr) << "not a typed array";
}

TEST(ArrayTypedCopy, CopyKeepsElementsAndListsButNotLockOrAccess)
{
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    m->PutIntAt(a.get(), 1, 0);
    m->PutStringCopyAt(a.get(), "two", 1);
    m->SetSlotType(a.get(), "Double", 3);
    m->SetAccess(a.get(), ReadOnly);
    m->SetLock(a.get(), 1);

    Obj copy(B(a.get())->Copy(array_typedclass, a.get()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->methods, array_typedclass->methods);
    EXPECT_EQ(copy->class_word, array_typedclass->class_word);
    EXPECT_EQ(typed_fields(copy.get()).lock, 0);
    EXPECT_EQ(TA(copy.get())->GetAccess(copy.get()), ReadWrite);
    EXPECT_NE(B(copy.get())->IsEqual(copy.get(), a.get()), 0);
    EXPECT_NE(get(copy.get(), 1).value, get(a.get(), 1).value) << "owned text is duplicated";
    EXPECT_EQ(type_at(copy.get(), 3), "Double");
    // The copy is typed, and its type lists are its own.
    EXPECT_EQ(TA(copy.get())->PutStringCopyAt(copy.get(), "x", 0), StatusBadType);
    EXPECT_EQ(TA(copy.get())->SetSlotType(copy.get(), "String", 0), 0);
    EXPECT_EQ(type_at(a.get(), 0), "Integer");
}

TEST(ArrayTypedCopy, CopyWithoutTypeStoreHasNone)
{
    Obj a = new_typed_array();
    TA(a.get())->PutIntAt(a.get(), 1, 0);
    TA(a.get())->ClearAt(a.get(), 0);
    B(a.get())->Clear(a.get());
    Obj copy(B(a.get())->Copy(a.get(), a.get()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(typed_fields(copy.get()).type_store, nullptr);
}

// ArrayTyped: binding, conversion, parked objects, access mode, lock, a
// missing type store, and copy.
#include "typed_support.h"

using namespace qt;

TEST(ArrayTyped, FirstCheckBindsAndTheBindingStays)
{
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    EXPECT_EQ(m->PutIntAt(a.get(), 5, 0), 0);
    EXPECT_EQ(type_at(a.get(), 0), "Integer");
    EXPECT_EQ(m->PutDoubleAt(a.get(), 1.5, 0), StatusBadType);
    EXPECT_EQ(get(a.get(), 0).integer(), 5) << "a refused put changes nothing";
    EXPECT_EQ(m->PutAt(a.get(), nullptr, Null, 1), 0);
    EXPECT_EQ(m->PutIntAt(a.get(), 1, 1), StatusBadType) << "bound to Null";
    char text[] = "t";
    EXPECT_EQ(m->CheckSlotType(a.get(), text, String, 3), 0);
    EXPECT_EQ(type_at(a.get(), 3), "String");
    EXPECT_EQ(used_count(a.get()), 2) << "a check writes no value";
    EXPECT_EQ(m->ClearAt(a.get(), 0), 0);
    EXPECT_EQ(type_at(a.get(), 0), "-") << "ClearAt unbinds";
    EXPECT_EQ(m->PutStringCopyAt(a.get(), "now text", 0), 0);
    // Appending binds the value's own type at the end of the type store.
    EXPECT_EQ(m->PutDoubleAt(a.get(), 2, -2), 0);
    EXPECT_EQ(type_at(a.get(), 4), "Double");
    EXPECT_EQ(m->PutStringAt(a.get(), "x", -1), StatusBadType) << "-1 names the type store's own last position";
    // An Integer where only a Double is admitted is converted.
    m->SetSlotType(a.get(), "Double", 7);
    int32_t seven = 7;
    EXPECT_EQ(m->CheckSlotType(a.get(), &seven, Integer, 7), StatusNeedsDouble);
    EXPECT_EQ(m->PutIntAt(a.get(), 7, 7), 0) << "into a position that did not exist";
    EXPECT_EQ(get(a.get(), 7).real(), 7.0);
    EXPECT_EQ(m->PutIntAt(a.get(), -3, 7), 0) << "and over an existing one";
    EXPECT_EQ(get(a.get(), 7).tag, Double);
    EXPECT_EQ(get(a.get(), 7).real(), -3.0);
}

TEST(ArrayTyped, ParkedObjectsStayOwnedUntilReplacedOrCleared)
{
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    QuolanObject *object = Tracked::make_raw();
    m->SetSlotType(a.get(), "Object-,Null,Integer", 0);
    ASSERT_EQ(m->PutObjectCopyAt(a.get(), object, 0), 0);
    Tracked::clears = 0;
    auto park = [&] { ASSERT_EQ(m->PutAt(a.get(), nullptr, Null, 0), 0); };
    park();
    park();  // Null over a parked object changes nothing
    EXPECT_EQ(get(a.get(), 0).tag, Null);
    EXPECT_EQ(get(a.get(), 0).value, object) << "a read shows the parked object";
    EXPECT_EQ(saved(a.get()), Bytes().i32(1).i32(4).str("Object-,Null,Integer").i32(1).i32(0).byte(0).i32(0).v)
        << "it is saved as a Null entry";
    Obj copy(B(a.get())->Copy(a.get(), a.get()));
    EXPECT_EQ(get(copy.get(), 0).value, nullptr) << "and not copied";
    EXPECT_EQ(m->PutObjectCopyAt(a.get(), object, 0), 0) << "the same object is owned again";
    EXPECT_EQ(get(a.get(), 0).tag, OwnedObject);
    park();
    EXPECT_EQ(m->PutIntAt(a.get(), 3, 0), 0);
    EXPECT_EQ(Tracked::clears, 1) << "another value replaces it, and it is deleted";

    object = Tracked::make_raw();
    m->PutObjectCopyAt(a.get(), object, 0);
    park();
    EXPECT_EQ(m->PutObjectAt(a.get(), object, 0), 0) << "borrowed back: handed to the caller";
    EXPECT_EQ(m->ClearAt(a.get(), 0), 0);
    EXPECT_EQ(Tracked::clears, 1);
    m->SetSlotType(a.get(), "Object-,Null", 0);
    m->PutObjectCopyAt(a.get(), object, 0);
    park();
    EXPECT_EQ(m->ClearAt(a.get(), 0), 0);
    EXPECT_EQ(Tracked::clears, 2) << "ClearAt deletes a parked object";
    int32_t not_an_object = 0;
    EXPECT_EQ(m->PutAt(a.get(), &not_an_object, Null, 9), 0);
    EXPECT_EQ(get(a.get(), 9).value, nullptr) << "a Null put keeps no reference it was given";
}

TEST(ArrayTyped, AccessModeRefusesAfterTheCheckAndLockFreezesLists)
{
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    m->PutIntAt(a.get(), 1, 0);
    EXPECT_EQ(m->SetAccess(a.get(), 7), 0);
    EXPECT_EQ(m->GetAccess(a.get()), 7);
    EXPECT_EQ(m->PutIntAt(a.get(), 2, 0), StatusLocked);
    EXPECT_EQ(m->PutStringAt(a.get(), "s", 0), StatusBadType) << "the check answers first";
    EXPECT_EQ(m->PutIntAt(a.get(), 3, 2), StatusLocked);
    EXPECT_EQ(type_at(a.get(), 2), "Integer") << "the refused put still bound its position";
    EXPECT_EQ(used_count(a.get()), 1);
    m->SetAccess(a.get(), ReadWrite);

    m->SetLock(a.get(), 1);
    EXPECT_EQ(m->SetSlotType(a.get(), "String", 0), StatusLocked);
    EXPECT_EQ(m->SetAccess(a.get(), ReadOnly), StatusLocked);
    EXPECT_EQ(m->PutIntAt(a.get(), 2, 0), 0) << "typed positions still take their kind";
    EXPECT_EQ(m->PutIntAt(a.get(), 2, 1), StatusBadType) << "a Null type entry admits nothing";
    EXPECT_EQ(m->PutIntAt(a.get(), 2, 3), StatusOutOfRange) << "beyond the type store";
    EXPECT_EQ(m->PutIntAt(a.get(), 2, -2), StatusOutOfRange);
    EXPECT_EQ(m->ClearAt(a.get(), 0), 0) << "clearing ignores lock and access";
    m->SetLock(a.get(), 0);
    EXPECT_EQ(m->PutIntAt(a.get(), 2, 3), 0);
}

TEST(ArrayTyped, WithoutTypeStoreTypedWorkAnswersNoMemory)
{
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    EXPECT_EQ(m->SetSlotType(a.get(), nullptr, 0), StatusBadType);
    EXPECT_EQ(B(a.get())->Save(a.get(), nullptr, 0), StatusFailed);
    Obj plain = new_array();
    EXPECT_EQ(B(a.get())->Copy(a.get(), plain.get()), nullptr) << "not a typed array";
    B(a.get())->Clear(a.get());
    int32_t one = 1;
    EXPECT_EQ(m->SetSlotType(a.get(), "Integer", 0), StatusNoMemory);
    EXPECT_EQ(m->CheckSlotType(a.get(), &one, Integer, 0), StatusNoMemory);
    EXPECT_EQ(m->PutIntAt(a.get(), 1, 0), StatusNoMemory);
    int32_t status = 0;
    EXPECT_TRUE(saved(a.get(), &status).empty());
    EXPECT_EQ(status, StatusNoMemory);
    EXPECT_EQ(load(a.get(), Bytes().i32(0).i32(0).byte(0).i32(0).v), StatusNoMemory);
    EXPECT_EQ(m->ClearAt(a.get(), 0), 0);
    Obj copy(B(a.get())->Copy(a.get(), a.get()));
    EXPECT_EQ(typed_fields(copy.get()).type_store, nullptr);
}

// Type lists: what a list admits, and the names bindings record.
#include "support.h"

using namespace qt;

namespace {

int32_t i7 = 7, yes = 1;
double d1 = 1.5;

}  // namespace

TEST(TypeList, VerdictsFollowTheGrammarAndKeywords)
{
    Obj tdict = make(dict_typedclass_init()), tarray = make(array_typedclass_init());
    Obj set = make(genset_baseclass_init());
    std::string fits = "Integer" + std::string(56, 'x'), too_long = fits + "x";
    char text[] = "t";
    struct Case { std::string types; int32_t tag; const void *value; int32_t expected; } cases[] = {
        {"", Null, nullptr, -3}, {",,,", Integer, &i7, -3}, {"Integer,", Null, nullptr, -3},
        {",,Double,,,Integer", Integer, &i7, 0}, {"Integer, Double", Double, &d1, -3},  // like one comma; no trim
        {"integer", Integer, &i7, -3}, {"Int", Integer, &i7, -3}, {"Integers", Integer, &i7, 0},  // keyword length
        {fits, Integer, &i7, 0}, {too_long, Integer, &i7, -3}, {too_long + ",Integer", Integer, &i7, 0},
        {"Double" + std::string(300, 'y'), Integer, &i7, -3},
        {"Double", Double, &d1, 0}, {"Double", Integer, &i7, -10}, {"Integer", Double, &d1, -3},
        {"Double,Integer", Integer, &i7, 0}, {"String,Double,Null", Integer, &i7, -10},
        {"String", OwnedString, text, 0}, {"Pointer", OwnedPointer, &i7, 0}, {"Pointer", String, text, -3},
        {"Boolean", Boolean, &yes, 0}, {"Null", Null, nullptr, 0}, {"Null", 10, &i7, -3},
        {"String", String, nullptr, -3}, {"Object-", Object, nullptr, -3},
        {"Object-", Object, set.get(), 0}, {"Object-QUOLAN", OwnedObject, tarray.get(), 0},
        {"Object-Dict", Object, tdict.get(), 0}, {"Object-Dict", Object, tarray.get(), -3},
        {"Object-Array", Object, tdict.get(), 0}, {"Object-Array", Object, set.get(), -3},
        {"Object", Object, set.get(), -3},
    };
    for (const Case &c : cases) {  // each list recorded at a fresh position
        Obj a = make(array_typedclass_init());
        TA(a.get())->SetSlotType(a.get(), c.types.c_str(), 0);
        EXPECT_EQ(TA(a.get())->CheckSlotType(a.get(), const_cast<void *>(c.value), c.tag, 0), c.expected)
            << '"' << c.types << "\" tag " << c.tag;
    }
}

// An array binds the exact class name (cut to fit 64 bytes); a typed
// dictionary binds only a family: Array, Dict or the root.  A value no name
// fits for, or an object that cannot name its class, is reported once.
TEST(TypeList, BindingsNameTheExactClassInArraysAndTheFamilyInDictionaries)
{
    Obj a = make(array_typedclass_init()), d = make(dict_typedclass_init()), set = make(genset_baseclass_init());
    Obj plain = make(dict_baseclass_init()), mute = make(nameless_class()), chatty = make(long_named_class<100>());
    Obj odd = make(root_class_with([](QuolanBaseMethods &t) {  // a Dict that is no Array
        t.IsA = [](QuolanObject *, char *name) -> int32_t { return std::strcmp(name, "Dict") == 0; };
    }));
    int32_t reports = quolan_testing_cant_happen_reports();
    A(a.get())->PutPtrAt(a.get(), &i7, 0);
    A(a.get())->PutObjectAt(a.get(), set.get(), 1);
    A(a.get())->PutObjectCopyAt(a.get(), Tracked::make_raw(), 2);
    EXPECT_EQ(A(a.get())->PutAt(a.get(), &i7, 12, 3), StatusBadType);
    EXPECT_EQ(A(a.get())->PutObjectAt(a.get(), mute.get(), 4), StatusBadType);
    EXPECT_EQ(A(a.get())->PutObjectAt(a.get(), chatty.get(), 5), StatusBadType);
    EXPECT_EQ(A(a.get())->PutStringAt(a.get(), nullptr, 6), StatusBadType);
    EXPECT_EQ(A(a.get())->PutStringAt(a.get(), "late", 6), StatusBadType) << "the empty list admits nothing";
    const std::string expected[] = {"Pointer", "Object-GenSet", "Object-QUOLAN", "", "Object-QUOLAN",
                                    "Object-" + std::string(56, 'x'), ""};
    for (int p = 0; p < 7; ++p) EXPECT_EQ(type_at(a.get(), p), expected[p]) << p;
    EXPECT_EQ(quolan_testing_cant_happen_reports(), reports + 2) << "unknown tag, nameless object";

    D(d.get())->PutStringKey(d.get(), plain.get(), Object, "dict");
    D(d.get())->PutStringKey(d.get(), set.get(), Object, "set");
    D(d.get())->PutStringKey(d.get(), odd.get(), Object, "odd");
    EXPECT_EQ(type_at(d.get(), 0) + " " + type_at(d.get(), 1) + " " + type_at(d.get(), 2),
              "Object-Array Object-QUOLAN Object-Dict");
    EXPECT_EQ(D(d.get())->PutStringKey(d.get(), a.get(), Object, "dict"), 0) << "any Array fits";
    EXPECT_EQ(D(d.get())->PutStringKey(d.get(), &i7, 12, "tag"), StatusBadType);
    EXPECT_EQ(quolan_testing_cant_happen_reports(), reports + 2) << "the family form reports nothing";
}

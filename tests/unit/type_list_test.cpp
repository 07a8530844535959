// Type lists: what a list admits, and the names bindings record.
#include "typed_support.h"

using namespace qt;

namespace {

int32_t i7 = 7, yes = 1;
double d1 = 1.5;

// What a list recorded at a fresh position answers for the value.
int32_t verdict(const std::string &types, int32_t tag, const void *value)
{
    Obj a = new_typed_array();
    TA(a.get())->SetSlotType(a.get(), types.c_str(), 0);
    return TA(a.get())->CheckSlotType(a.get(), const_cast<void *>(value), tag, 0);
}

// A family the library never makes: a Dict that is no Array.
Obj odd_dict()
{
    return make(root_class_with([](QuolanBaseMethods &t) {
        t.IsA = [](QuolanObject *, char *name) -> int32_t { return std::strcmp(name, "Dict") == 0; };
    }));
}

}  // namespace

TEST(TypeList, VerdictsFollowTheGrammarAndKeywords)
{
    Obj tdict = new_typed_dict(), tarray = new_typed_array(), set = make(genset_baseclass_init());
    std::string fits = "Integer" + std::string(56, 'x'), too_long = fits + "x";
    char text[] = "t";
    struct Case {
        std::string types;
        int32_t tag;
        const void *value;
        int32_t expected;
    } cases[] = {
        {"", Null, nullptr, -3}, {",,,", Integer, &i7, -3}, {"Integer,", Null, nullptr, -3},
        {",,Double,,,Integer", Integer, &i7, 0},  // commas separate like one
        {"Integer, Double", Double, &d1, -3},      // nothing is trimmed
        {"integer", Integer, &i7, -3}, {"Int", Integer, &i7, -3},
        {"Integers", Integer, &i7, 0},  // only the keyword's length counts
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
    for (const Case &c : cases)
        EXPECT_EQ(verdict(c.types, c.tag, c.value), c.expected) << '"' << c.types << "\" tag " << c.tag;
}

TEST(TypeList, ArrayBindingsNameTheExactClassAndSurviveImpossibleValues)
{
    Obj a = new_typed_array(), set = make(genset_baseclass_init());
    Obj mute = make(nameless_class()), chatty = make(long_named_class<100>());
    auto *m = TA(a.get());
    int32_t reports = quolan_testing_cant_happen_reports();
    m->PutPtrAt(a.get(), &i7, 0);
    m->PutObjectAt(a.get(), set.get(), 1);
    m->PutObjectCopyAt(a.get(), Tracked::make_raw(), 2);
    EXPECT_EQ(m->PutAt(a.get(), &i7, 12, 3), StatusBadType);
    EXPECT_EQ(m->PutObjectAt(a.get(), mute.get(), 4), StatusBadType);
    EXPECT_EQ(quolan_testing_cant_happen_reports(), reports + 2) << "unknown tag, nameless object";
    EXPECT_EQ(m->PutObjectAt(a.get(), chatty.get(), 5), StatusBadType);
    EXPECT_EQ(m->PutStringAt(a.get(), nullptr, 6), StatusBadType);
    EXPECT_EQ(m->PutStringAt(a.get(), "late", 6), StatusBadType) << "the empty list admits nothing";
    const std::string expected[] = {"Pointer", "Object-GenSet", "Object-QUOLAN", "", "Object-QUOLAN",
                                    "Object-" + std::string(56, 'x'), ""};
    for (int p = 0; p < 7; ++p) EXPECT_EQ(type_at(a.get(), p), expected[p]) << p;
    EXPECT_EQ(quolan_testing_cant_happen_reports(), reports + 2);
}

TEST(TypeList, BindingsNameOnlyThreeObjectFamiliesInATypedDict)
{
    Obj d = new_typed_dict(), plain = make(dict_baseclass_init()), set = make(genset_baseclass_init());
    Obj odd = odd_dict(), array = new_array();
    auto *m = TD(d.get());
    int32_t reports = quolan_testing_cant_happen_reports();
    m->PutStringKey(d.get(), plain.get(), Object, "dict");
    m->PutStringKey(d.get(), set.get(), Object, "set");
    m->PutStringKey(d.get(), odd.get(), Object, "odd");
    EXPECT_EQ(type_at(d.get(), 0), "Object-Array");
    EXPECT_EQ(type_at(d.get(), 1), "Object-QUOLAN");
    EXPECT_EQ(type_at(d.get(), 2), "Object-Dict");
    EXPECT_EQ(m->PutStringKey(d.get(), array.get(), Object, "dict"), 0) << "any Array fits Object-Array";
    EXPECT_EQ(m->PutStringKey(d.get(), &i7, 12, "tag"), StatusBadType);
    EXPECT_EQ(quolan_testing_cant_happen_reports(), reports) << "the family form reports nothing";
}

// Type lists: grammar, keyword matching, conversion verdicts, object tokens,
// and the names a binding records for a value.
#include <cstdlib>

#include "typed_support.h"

using namespace qt;

namespace {

int32_t i7 = 7;
double d1 = 1.5;
int32_t yes = 1;

int32_t answers_nothing(QuolanObject *, char *) { return 0; }

// Writes a 100-character class name for "", and knows no other name.
int32_t long_name(QuolanObject *, char *name)
{
    if (name[0] != '\0') return 0;
    std::memset(name, 'L', 100);
    name[100] = '\0';
    return 1;
}

// Answers to "Dict" but not to "Array": a family the library never makes.
int32_t only_dict(QuolanObject *, char *name)
{
    return std::strcmp(name, "Dict") == 0 ? 1 : 0;
}

}  // namespace

TEST(TypeListGrammar, EmptyTokensAdmitNothing)
{
    for (const char *types : {"", ",", ",,,"}) {
        EXPECT_EQ(verdict(types, Null, nullptr), StatusBadType) << '"' << types << '"';
        EXPECT_EQ(verdict(types, Integer, &i7), StatusBadType) << '"' << types << '"';
    }
    // Leading commas and runs of commas separate like one comma.
    EXPECT_EQ(verdict(",,Double,,,Integer", Integer, &i7), StatusOk);
    EXPECT_EQ(verdict("Integer,", Integer, &i7), StatusOk);
    EXPECT_EQ(verdict("Integer,", Null, nullptr), StatusBadType);
}

TEST(TypeListGrammar, NothingIsTrimmedAndCaseCounts)
{
    EXPECT_EQ(verdict("Integer, Double", Integer, &i7), StatusOk);
    EXPECT_EQ(verdict("Integer, Double", Double, &d1), StatusBadType) << "\" Double\" is no keyword";
    EXPECT_EQ(verdict("integer", Integer, &i7), StatusBadType);
    EXPECT_EQ(verdict("Integers", Integer, &i7), StatusOk) << "only the keyword's length counts";
    EXPECT_EQ(verdict("Int", Integer, &i7), StatusBadType);
}

TEST(TypeListGrammar, TokensTooLongForTheBufferAreMismatches)
{
    std::string fits = "Integer" + std::string(56, 'x');  // 63 characters
    std::string too_long = "Integer" + std::string(57, 'x');
    EXPECT_EQ(verdict(fits.c_str(), Integer, &i7), StatusOk);
    EXPECT_EQ(verdict(too_long.c_str(), Integer, &i7), StatusBadType);
    std::string long_double = "Double" + std::string(300, 'y');
    EXPECT_EQ(verdict(long_double.c_str(), Integer, &i7), StatusBadType)
        << "an overlong token asks for no conversion either";
    EXPECT_EQ(verdict((too_long + ",Integer").c_str(), Integer, &i7), StatusOk)
        << "the tokens after it are still tested";
}

TEST(TypeListVerdicts, DoubleAdmitsIntegersOnlyByConversion)
{
    EXPECT_EQ(verdict("Double", Double, &d1), StatusOk);
    EXPECT_EQ(verdict("Double", Integer, &i7), StatusNeedsDouble);
    EXPECT_EQ(verdict("Integer", Double, &d1), StatusBadType);
    // The first exact match wins over an earlier conversion.
    EXPECT_EQ(verdict("Double,Integer", Integer, &i7), StatusOk);
    EXPECT_EQ(verdict("String,Double,Boolean", Integer, &i7), StatusNeedsDouble);
    EXPECT_EQ(verdict("Double", Boolean, &yes), StatusBadType);
}

TEST(TypeListVerdicts, BorrowedAndOwnedKindsShareTheirKeyword)
{
    char text[] = "t";
    int local = 0;
    EXPECT_EQ(verdict("String", String, text), StatusOk);
    EXPECT_EQ(verdict("String", OwnedString, text), StatusOk);
    EXPECT_EQ(verdict("Pointer", Pointer, &local), StatusOk);
    EXPECT_EQ(verdict("Pointer", OwnedPointer, &local), StatusOk);
    EXPECT_EQ(verdict("Pointer", String, text), StatusBadType);
    EXPECT_EQ(verdict("Boolean", Boolean, &yes), StatusOk);
    EXPECT_EQ(verdict("Null", Null, nullptr), StatusOk);
}

TEST(TypeListVerdicts, ObjectTokensAskTheObjectsIsA)
{
    Obj typed_dict = new_typed_dict();
    Obj typed_array = new_typed_array();
    Obj set = make(genset_baseclass_init());
    for (QuolanObject *o : {typed_dict.get(), typed_array.get(), set.get()}) {
        EXPECT_EQ(verdict("Object-", Object, o), StatusOk);
        EXPECT_EQ(verdict("Object-QUOLAN", OwnedObject, o), StatusOk);
    }
    EXPECT_EQ(verdict("Object-Dict", Object, typed_dict.get()), StatusOk);
    EXPECT_EQ(verdict("Object-Dict", Object, typed_array.get()), StatusBadType);
    EXPECT_EQ(verdict("Object-Array", Object, typed_dict.get()), StatusOk);
    EXPECT_EQ(verdict("Object-Array", Object, set.get()), StatusBadType);
    EXPECT_EQ(verdict("Object", Object, set.get()), StatusBadType) << "the dash is part of the keyword";
    EXPECT_EQ(verdict("Object-Array", Integer, &i7), StatusBadType);
}

TEST(TypeListVerdicts, MissingReferencesAreNeverAdmitted)
{
    for (const char *types : {"String", "Integer", "Object-", "Double", "Pointer"}) {
        EXPECT_EQ(verdict(types, String, nullptr), StatusBadType) << types;
        EXPECT_EQ(verdict(types, Integer, nullptr), StatusBadType) << types;
        EXPECT_EQ(verdict(types, Object, nullptr), StatusBadType) << types;
    }
    EXPECT_EQ(verdict("Null", 10, &i7), StatusBadType) << "unknown tags match no token";
}

TEST(TypeNames, ExactFormNamesTheObjectsOwnClass)
{
    Obj a = new_typed_array();
    Obj set = make(genset_baseclass_init());
    Obj inner = new_typed_array();
    QuolanObject *tracked = Tracked::make_raw();
    auto *m = TA(a.get());
    m->PutIntAt(a.get(), 1, 0);
    m->PutDoubleAt(a.get(), 1, 1);
    m->PutStringAt(a.get(), "s", 2);
    m->PutBooleanAt(a.get(), 0, 3);
    m->PutPtrAt(a.get(), &i7, 4);
    m->PutAt(a.get(), nullptr, Null, 5);
    m->PutObjectAt(a.get(), set.get(), 6);
    m->PutObjectAt(a.get(), inner.get(), 7);
    m->PutObjectCopyAt(a.get(), tracked, 8);
    const char *expected[] = {"Integer", "Double",        "String",            "Boolean",      "Pointer",
                              "Null",    "Object-GenSet", "Object-ArrayTyped", "Object-QUOLAN"};
    for (int p = 0; p < 9; ++p) EXPECT_EQ(type_at(a.get(), p), expected[p]) << p;
}

TEST(TypeNames, ImpossibleValuesAreReportedAndNamedSafely)
{
    static QuolanObject *mute = class_with_is_a(answers_nothing);
    static QuolanObject *verbose = class_with_is_a(long_name);
    Obj a = new_typed_array();
    auto *m = TA(a.get());
    int32_t reports = quolan_testing_cant_happen_reports();

    EXPECT_EQ(m->PutAt(a.get(), &i7, 12, 0), StatusBadType);
    EXPECT_EQ(type_at(a.get(), 0), "") << "an unknown tag binds the empty list";
    EXPECT_EQ(quolan_testing_cant_happen_reports(), reports + 1);

    // The object answers to no name: reported, and named after the root,
    // which its IsA then refuses too.
    Obj silent = make(mute);
    EXPECT_EQ(m->PutObjectAt(a.get(), silent.get(), 1), StatusBadType);
    EXPECT_EQ(type_at(a.get(), 1), "Object-QUOLAN");
    EXPECT_EQ(quolan_testing_cant_happen_reports(), reports + 2);

    // A class name longer than the type name holds is cut, never overrun.
    Obj chatty = make(verbose);
    EXPECT_EQ(m->PutObjectAt(a.get(), chatty.get(), 2), StatusBadType);
    EXPECT_EQ(type_at(a.get(), 2), "Object-" + std::string(56, 'L'));

    // A null reference with a non-Null tag has no name at all, unreported.
    EXPECT_EQ(m->PutStringAt(a.get(), nullptr, 3), StatusBadType);
    EXPECT_EQ(type_at(a.get(), 3), "");
    EXPECT_EQ(m->PutStringAt(a.get(), "late", 3), StatusBadType) << "the empty list admits nothing";
    EXPECT_EQ(quolan_testing_cant_happen_reports(), reports + 2);
}

TEST(TypeNames, FamilyFormNamesOnlyThreeObjectKinds)
{
    static QuolanObject *dict_only = class_with_is_a(only_dict);
    Obj d = new_typed_dict();
    Obj plain = make(dict_baseclass_init());
    Obj set = make(genset_baseclass_init());
    Obj odd = make(dict_only);
    Obj nested = new_typed_dict();
    auto *m = TD(d.get());
    int32_t reports = quolan_testing_cant_happen_reports();
    EXPECT_EQ(m->PutStringKey(d.get(), plain.get(), Object, "dict"), 0);
    EXPECT_EQ(m->PutStringKey(d.get(), nested.get(), Object, "typed"), 0);
    EXPECT_EQ(m->PutStringKey(d.get(), set.get(), Object, "set"), 0);
    EXPECT_EQ(m->PutStringKey(d.get(), odd.get(), Object, "odd"), 0);
    EXPECT_EQ(type_at(d.get(), 0), "Object-Array");
    EXPECT_EQ(type_at(d.get(), 1), "Object-Array");
    EXPECT_EQ(type_at(d.get(), 2), "Object-QUOLAN");
    EXPECT_EQ(type_at(d.get(), 3), "Object-Dict");
    int32_t i = 1;
    EXPECT_EQ(m->PutStringKey(d.get(), &i, 12, "tag"), StatusBadType);
    EXPECT_EQ(quolan_testing_cant_happen_reports(), reports) << "the family form reports nothing";
}

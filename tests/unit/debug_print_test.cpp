// The debug printers: exact text of elements, arrays, dictionaries, typed
// headers and nested containers, and what they answer.
#include <cstdio>

#include "support.h"

using namespace qt;

namespace {

using Printed = std::pair<int32_t, std::string>;  // the answer, and the text written

// What a printer answers, and the text it writes, given `args` and a stream.
template <class Printer, class... Args>
Printed print(Printer printer, Args... args)
{
    testing::internal::CaptureStdout();
    int32_t status = printer(args..., stdout);
    std::fflush(stdout);
    return {status, testing::internal::GetCapturedStdout()};
}
Printed array(QuolanObject *o, uint32_t depth = 0) { return print(debug_print_array, o, depth); }
Printed dict(QuolanObject *o, uint32_t depth = 0) { return print(debug_print_dict, o, depth); }

}  // namespace

// Every tag's text, no newline; indentation follows the depth up to 57 columns
// (never for no object); with no stream, the printers write to standard error.
TEST(DebugPrint, ElementsDepthAndTheDefaultStream)
{
    int32_t minus = -42, yes = 7, no = 0;
    double half = 2.5;
    char at[64];
    std::snprintf(at, sizeof at, "%p", static_cast<void *>(&half));
    struct Case { const void *value; int32_t tag; std::string text; } cases[] = {
        {nullptr, Null, "-Null-"}, {&minus, Null, "-Null-"}, {&minus, Integer, "-Integer- <-42>"},
        {&half, Double, "-Double- <2.500000>"}, {"abc", String, "-String- <abc>"},
        {"abc", OwnedString, "-String- (owner) <abc>"}, {array_baseclass_init(), Object, "-Object-QUOLAN-"},
        {array_baseclass, OwnedObject, "-Object-QUOLAN- (owner)"}, {&yes, Boolean, "-Boolean- <true>"},
        {&half, Pointer, std::string("-Pointer- <") + at + ">"}, {&no, Boolean, "-Boolean- <false>"},
        {&half, OwnedPointer, std::string("-Pointer- (owner) <") + at + ">"}, {&half, 10, "***???***"},
        {&half, -1, "***???***"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(print(debug_print_element, const_cast<void *>(c.value), c.tag), (Printed{0, c.text})) << c.tag;
    // A missing value fails for every tag but Null, unknown tags included.
    for (int32_t tag : {int32_t{Integer}, int32_t{String}, int32_t{Object}, 10})
        EXPECT_EQ(print(debug_print_element, nullptr, tag), (Printed{StatusBadType, "-Null-"})) << "tag " << tag;

    for (auto printer : {array, dict}) EXPECT_EQ(printer(nullptr, 9), (Printed{StatusBadType, "**NULL**\n"}));
    Obj a = new_array();
    EXPECT_EQ(array(a.get(), 4), (Printed{0, ""}));
    A(a.get())->PutIntAt(a.get(), 5, 0);
    const std::pair<uint32_t, size_t> depths[] = {{0, 0}, {3, 3}, {60, 57}, {static_cast<uint32_t>(-1), 57}};
    for (auto [depth, indent] : depths)
        EXPECT_EQ(array(a.get(), depth), (Printed{0, std::string(indent, ' ') + " [0] = -Integer- <5>\n"}));
    testing::internal::CaptureStderr();
    int32_t statuses = debug_print_element(&minus, Integer, nullptr) + debug_print_array(a.get(), 0, nullptr) +
                       debug_print_dict(nullptr, 0, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "-Integer- <-42> [0] = -Integer- <5>\n**NULL**\n");
    EXPECT_EQ(statuses, StatusBadType);
}

// Nested containers print after their class name, two columns deeper.  A
// nested object that cannot name its class ends the walk of its holder, line
// unfinished; a name too long for 128 bytes is cut to 127 characters.  The
// first error met anywhere is the answer, and the walk goes on past it.
TEST(DebugPrint, EntriesAndNestedContainersInOrder)
{
    Obj outer = new_array();
    QuolanObject *o = outer.get(), *inner = new_array().release(), *d = make(dict_baseclass_init()).release();
    A(o)->PutStringCopyAt(o, "text", 0);
    A(o)->PutObjectAt(o, nullptr, 1);
    A(o)->PutDoubleAt(o, -0.125, 3);  // position 2 stays Null
    A(o)->PutObjectCopyAt(o, inner, -2);
    A(inner)->PutStringAt(inner, nullptr, 0);  // an error, printed as Null
    A(inner)->PutObjectCopyAt(inner, make(nameless_class()).release(), 1);
    A(inner)->PutIntAt(inner, 2, 2);
    A(o)->PutObjectCopyAt(o, d, -2);
    D(d)->PutIntStringKey(d, 5, "n");
    A(o)->PutObjectCopyAt(o, Tracked::make_raw(), -2);
    A(o)->PutObjectCopyAt(o, make(long_named_class<200>()).release(), -2);
    A(o)->PutAt(o, nullptr, Pointer, -2);
    EXPECT_EQ(array(o, 1), (Printed{StatusBadType, "  [0] = -String- (owner) <text>\n"
                                                   "  [1] = **NULL**\n"
                                                   "  [2] = -Null-\n"
                                                   "  [3] = -Double- <-0.125000>\n"
                                                   "  [4] = Array\n"
                                                   "    [0] = -Null-\n"
                                                   "    [1] =   [5] = Dict\n"
                                                   "    [-String- (owner) <n>] = -Integer- <5>\n"
                                                   "  [6] = QUOLAN\n"
                                                   "  [7] = " + std::string(127, 'x') + "\n"
                                                   "  [8] = -Null-\n"}));

    // A container holding itself is cut at the nesting limit, in each print.
    Obj self = new_array();
    A(self.get())->PutObjectAt(self.get(), self.get(), 0);
    A(self.get())->PutIntAt(self.get(), 7, 1);
    // 1,000 levels in, an error line; every level walks the one cursor, so the
    // deepest walk takes position 1 and the others find nothing more.
    std::string text, deepest(57, ' ');
    for (size_t level = 0; level < 1000; ++level) text += deepest.substr(0, 2 * level) + " [0] = Array\n";
    text += deepest + " !!Error -2\n" + deepest + " [1] = -Integer- <7>\n";
    EXPECT_EQ(array(self.get()), (Printed{StatusFailed, text}));
    EXPECT_EQ(array(self.get()), (Printed{StatusFailed, text}));
}

// Each entry is introduced by its key, and keyless positions are skipped; the
// index printed is the entry's own position.  A key that cannot be read or
// printed is reported without its value.  A deferred entry is loaded, or, with
// no loader, its failed Next is reported once and the walk carries on.
TEST(DebugPrint, DictionaryEntriesAndDeferredOnes)
{
    Obj d = make(dict_baseclass_init()), bad = make(dict_baseclass_init());
    int32_t seven = 7, yes = 1, key = 1;
    double half = 2.5;
    D(d.get())->PutIntStringKey(d.get(), 1, "a");
    D(d.get())->PutIntStringKey(d.get(), 2, "b");
    D(d.get())->PutKey(d.get(), K("x"), OwnedString, &seven, Integer);
    D(d.get())->PutKey(d.get(), &yes, Boolean, &half, Double);
    D(d.get())->ClearKey(d.get(), K("b"), String);
    A(d.get())->PutIntAt(d.get(), 4, 5);  // by position only: no key, past the keys
    EXPECT_EQ(dict(d.get(), 1), (Printed{0, "  [-String- (owner) <a>] = -Integer- <1>\n"
                                            "  [-Integer- <7>] = -String- (owner) <x>\n"
                                            "  [-Double- <2.500000>] = -Boolean- <true>\n"}));
    EXPECT_EQ(array(d.get()).second, " [0] = -Integer- <1>\n [2] = -String- (owner) <x>\n [3] = -Boolean- <true>\n");
    D(bad.get())->PutKey(bad.get(), &seven, Integer, nullptr, Object);  // a key with no object
    D(bad.get())->PutIntStringKey(bad.get(), 2, "b");
    EXPECT_EQ(dict(bad.get()), (Printed{StatusBadType, " [-Null-\n [-String- (owner) <b>] = -Integer- <2>\n"}));
    Obj u = make(subclass_with<DictMethods>(dict_baseclass_init(), [](DictMethods &t) {
        t.GetSymbol = [](QuolanObject *, void **, int32_t *, int32_t) -> int32_t { return StatusFailedFlag; };
    }));
    D(u.get())->PutIntStringKey(u.get(), 1, "a");
    D(u.get())->PutIntStringKey(u.get(), 2, "b");
    EXPECT_EQ(dict(u.get(), 1), (Printed{StatusFailedFlag, "  !!Error 1\n  !!Error 1\n"}));

    Obj a = make(array_deferclass_init()), deferred = make(dict_deferclass_init());
    A(a.get())->PutIntAt(a.get(), 1, 0);
    AD(a.get())->PutDeferredAt(a.get(), &key, Integer, 1);
    AD(a.get())->PutDeferredAt(a.get(), &key, Integer, 2);
    EXPECT_EQ(array(a.get(), 2), (Printed{StatusFailed, "   [0] = -Integer- <1>\n   !!Error -2\n   !!Error -2\n"}));
    D(bad.get())->PutKey(bad.get(), K("one"), String, &key, Integer);  // now the loader
    DD(deferred.get())->SetLoader(deferred.get(), bad.get());
    DD(deferred.get())->PutDeferredStringKey(deferred.get(), &key, Integer, "k");
    EXPECT_EQ(dict(deferred.get()).second, " [-String- (owner) <k>] = -String- <one>\n");
}

// Typed containers print a header line; DictTyped spells ReadOnly its own way.
TEST(DebugPrint, TypedHeadersNameAccessModeAndLock)
{
    struct Case { int32_t access, lock; std::string array_header, dict_header; } cases[] = {
        {ReadWrite, 0, "Read/Write NotLocked", "Read/Write NotLocked"},
        {ReadOnly, 1, "Read Only Locked", "ReadOnly Locked"},
        {5, 256, "Unknown Locked", "Unknown Locked"},
    };
    for (const Case &c : cases) {
        Obj typed_array = make(array_typedclass_init()), typed_dict = make(dict_typedclass_init());
        QuolanObject *a = typed_array.get(), *d = typed_dict.get();
        A(a)->PutIntAt(a, 5, 0);
        D(d)->PutIntStringKey(d, 5, "n");
        TA(a)->SetAccess(a, c.access), TA(a)->SetLock(a, c.lock);
        TD(d)->SetAccess(d, c.access), TD(d)->SetLock(d, c.lock);
        EXPECT_EQ(array(a, 2).second, "   " + c.array_header + "\n   [0] = -Integer- <5>\n");
        EXPECT_EQ(dict(d).second, " " + c.dict_header + "\n [-String- (owner) <n>] = -Integer- <5>\n");
        EXPECT_EQ(array(d).second, " [0] = -Integer- <5>\n") << "no header: not an ArrayTyped";
    }
    EXPECT_EQ(array(make(array_typedclass_init()).get()), (Printed{0, " Read/Write NotLocked\n"}));
}

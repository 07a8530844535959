// The debug printers: exact text of elements, arrays, dictionaries, typed
// headers and nested containers, and what they answer.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support.h"

using namespace qt;

namespace {

struct Printed {
    int32_t status;
    std::string text;
    bool operator==(const Printed &) const = default;
};
std::ostream &operator<<(std::ostream &os, const Printed &p)
{
    return os << p.status << " \"" << p.text << "\"";
}

template <class Print>
Printed capture(Print print)
{
    char *buffer = nullptr;
    size_t size = 0;
    FILE *f = open_memstream(&buffer, &size);
    int32_t status = print(f);
    std::fclose(f);
    Printed p{status, std::string(buffer, size)};
    std::free(buffer);
    return p;
}
Printed element(const void *value, int32_t tag)
{
    return capture([&](FILE *f) { return debug_print_element(const_cast<void *>(value), tag, f); });
}
Printed array(QuolanObject *o, uint32_t depth = 0)
{
    return capture([&](FILE *f) { return debug_print_array(o, depth, f); });
}
Printed dict(QuolanObject *o, uint32_t depth = 0)
{
    return capture([&](FILE *f) { return debug_print_dict(o, depth, f); });
}

std::string spaces(size_t n) { return std::string(n, ' '); }
size_t count_of(const std::string &text, const std::string &part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

Obj new_dict() { return make(dict_baseclass_init()); }
QuolanObject *adopt(QuolanObject *outer, Obj inner)  // appended as OwnedObject
{
    QuolanObject *o = inner.release();
    A(outer)->PutObjectCopyAt(outer, o, -2);
    return o;
}

// Client classes that misbehave: objects that cannot name their class, and
// a dictionary whose keys cannot be read.
int32_t nameless_is_a(QuolanObject *, char *) { return 0; }
int32_t long_name_is_a(QuolanObject *, char *name)
{
    if (*name) return 0;
    std::memset(name, 'x', 200);
    name[200] = '\0';
    return 1;
}
int32_t unreadable_symbol(QuolanObject *, void **, int32_t *, int32_t) { return StatusFailedFlag; }
QuolanObject *root_class()
{
    quolan_class_init();
    return quolan_class;
}
QuolanObject *client_class(QuolanObject *parent, size_t slots, void (*fill)(QuolanMethod *))
{
    QuolanObject *k = quolan_generic_subclass(parent, parent->size, slots * sizeof(QuolanMethod));
    fill(k->methods);
    return k;
}

}  // namespace

TEST(DebugPrintElement, EveryTagPrintsItsTextWithoutNewline)
{
    int32_t minus = -42, yes = 7, no = 0;
    double half = 2.5;
    int local = 0;
    char pointer[64];
    std::snprintf(pointer, sizeof pointer, "%p", static_cast<void *>(&local));
    QuolanObject *object = array_baseclass_init();
    struct Case {
        const void *value;
        int32_t tag;
        Printed out;
    } cases[] = {
        {nullptr, Null, {0, "-Null-"}},
        {&minus, Null, {0, "-Null-"}},
        {&minus, Integer, {0, "-Integer- <-42>"}},
        {&half, Double, {0, "-Double- <2.500000>"}},
        {"abc", String, {0, "-String- <abc>"}},
        {"abc", OwnedString, {0, "-String- (owner) <abc>"}},
        {object, Object, {0, "-Object-QUOLAN-"}},
        {object, OwnedObject, {0, "-Object-QUOLAN- (owner)"}},
        {&local, Pointer, {0, std::string("-Pointer- <") + pointer + ">"}},
        {&local, OwnedPointer, {0, std::string("-Pointer- (owner) <") + pointer + ">"}},
        {&yes, Boolean, {0, "-Boolean- <true>"}},
        {&no, Boolean, {0, "-Boolean- <false>"}},
        {&local, 10, {0, "***???***"}},
        {&local, -1, {0, "***???***"}},
        // A missing value fails for every tag but Null, unknown tags included.
        {nullptr, String, {StatusBadType, "-Null-"}},
        {nullptr, Integer, {StatusBadType, "-Null-"}},
        {nullptr, Object, {StatusBadType, "-Null-"}},
        {nullptr, 10, {StatusBadType, "-Null-"}},
    };
    for (const Case &c : cases) EXPECT_EQ(element(c.value, c.tag), c.out) << "tag " << c.tag;
}

TEST(DebugPrintElement, NullStreamWritesToStandardError)
{
    Obj a = new_array();
    A(a.get())->PutIntAt(a.get(), 5, 0);
    int32_t five = 5;
    std::fflush(stderr);
    FILE *sink = std::tmpfile();
    int saved = dup(2);
    dup2(fileno(sink), 2);
    int32_t statuses = debug_print_element(&five, Integer, nullptr) +
                       debug_print_array(a.get(), 0, nullptr) +
                       debug_print_dict(nullptr, 0, nullptr);
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::rewind(sink);
    char text[128] = {};
    size_t n = std::fread(text, 1, sizeof text - 1, sink);
    std::fclose(sink);
    EXPECT_EQ(std::string(text, n), "-Integer- <5> [0] = -Integer- <5>\n**NULL**\n");
    EXPECT_EQ(statuses, StatusBadType);
}

TEST(DebugPrintArray, NullEmptyAndWrongContainers)
{
    EXPECT_EQ(array(nullptr, 9), (Printed{StatusBadType, "**NULL**\n"})) << "never indented";
    EXPECT_EQ(dict(nullptr, 9), (Printed{StatusBadType, "**NULL**\n"}));
    Obj a = new_array();
    EXPECT_EQ(array(a.get(), 4), (Printed{0, ""}));
    A(a.get())->PutIntAt(a.get(), 1, 0);
    EXPECT_EQ(dict(a.get()), (Printed{StatusBadType, ""})) << "an Array has no keys to print";
}

TEST(DebugPrintArray, IndentationFollowsDepthUpTo57Columns)
{
    Obj a = new_array();
    A(a.get())->PutIntAt(a.get(), 5, 0);
    const std::string entry = " [0] = -Integer- <5>\n";
    EXPECT_EQ(array(a.get(), 0), (Printed{0, entry}));
    EXPECT_EQ(array(a.get(), 3).text, spaces(3) + entry);
    EXPECT_EQ(array(a.get(), 60).text, spaces(57) + entry);
    EXPECT_EQ(array(a.get(), static_cast<uint32_t>(-1)).text, spaces(57) + entry);
}

TEST(DebugPrintArray, EntriesAndNestedContainersInOrder)
{
    Obj outer = new_array();
    auto *m = A(outer.get());
    m->PutStringCopyAt(outer.get(), "text", 0);
    m->PutObjectAt(outer.get(), nullptr, 1);
    m->PutBooleanAt(outer.get(), 0, 2);
    m->PutDoubleAt(outer.get(), -0.125, 4);  // position 3 stays Null
    QuolanObject *inner = adopt(outer.get(), new_array());
    A(inner)->PutIntAt(inner, 1, 0);
    QuolanObject *d = adopt(outer.get(), new_dict());
    D(d)->PutIntStringKey(d, 5, "n");
    adopt(outer.get(), Obj(Tracked::make_raw()));
    m->PutIntAt(outer.get(), 2, -2);
    EXPECT_EQ(array(outer.get(), 1), (Printed{0,
                                              "  [0] = -String- (owner) <text>\n"
                                              "  [1] = **NULL**\n"
                                              "  [2] = -Boolean- <false>\n"
                                              "  [3] = -Null-\n"
                                              "  [4] = -Double- <-0.125000>\n"
                                              "  [5] = Array\n"
                                              "    [0] = -Integer- <1>\n"
                                              "  [6] = Dict\n"
                                              "    [-String- (owner) <n>] = -Integer- <5>\n"
                                              "  [7] = QUOLAN\n"
                                              "  [8] = -Integer- <2>\n"}));
}

TEST(DebugPrintArray, FirstErrorAnywhereIsTheResultAndTheWalkGoesOn)
{
    Obj outer = new_array();
    QuolanObject *inner = adopt(outer.get(), new_array());
    A(inner)->PutStringAt(inner, nullptr, 0);
    A(outer.get())->PutAt(outer.get(), nullptr, Pointer, 1);
    A(outer.get())->PutIntAt(outer.get(), 0, 2);
    EXPECT_EQ(array(outer.get()), (Printed{StatusBadType,
                                           " [0] = Array\n"
                                           "   [0] = -Null-\n"
                                           " [1] = -Null-\n"
                                           " [2] = -Integer- <0>\n"}));
}

// A nested object that cannot name its class ends the walk of its holder,
// line unfinished; a name too long for 128 bytes is cut to 127 characters.
TEST(DebugPrintArray, ClassNamesMissingOrTooLong)
{
    static QuolanObject *nameless = client_class(
        root_class(), QuolanSlot_Count,
        [](QuolanMethod *t) { reinterpret_cast<QuolanBaseMethods *>(t)->IsA = nameless_is_a; });
    static QuolanObject *long_named = client_class(
        root_class(), QuolanSlot_Count,
        [](QuolanMethod *t) { reinterpret_cast<QuolanBaseMethods *>(t)->IsA = long_name_is_a; });
    Obj outer = new_array();
    QuolanObject *inner = adopt(outer.get(), new_array());
    A(inner)->PutIntAt(inner, 1, 0);
    adopt(inner, make(nameless));
    A(inner)->PutIntAt(inner, 2, 2);
    adopt(outer.get(), make(long_named));
    EXPECT_EQ(array(outer.get()), (Printed{0,
                                           " [0] = Array\n"
                                           "   [0] = -Integer- <1>\n"
                                           "   [1] =  [1] = " +
                                               std::string(127, 'x') + "\n"}));
}

TEST(DebugPrintArray, ContainerHoldingItselfIsCutAtTheNestingLimit)
{
    Obj a = new_array();
    A(a.get())->PutObjectAt(a.get(), a.get(), 0);
    A(a.get())->PutIntAt(a.get(), 7, 1);
    Printed p = array(a.get());
    EXPECT_EQ(p.status, StatusFailed);
    EXPECT_EQ(count_of(p.text, "] = Array\n"), 1000u);
    const std::string tail = spaces(57) + " !!Error -2\n" + spaces(57) + " [1] = -Integer- <7>\n";
    EXPECT_TRUE(p.text.ends_with(tail));
    EXPECT_EQ(count_of(p.text, "!!Error"), 1u);
    EXPECT_EQ(array(a.get()), p) << "the limit is per print, not used up";

    // Through a dictionary and back: both printers stop.
    Obj d = new_dict();
    D(d.get())->PutStringKey(d.get(), a.get(), Object, "loop");
    A(a.get())->PutObjectAt(a.get(), d.get(), 0);
    Printed q = dict(d.get());
    EXPECT_EQ(q.status, StatusFailed);
    EXPECT_EQ(count_of(q.text, "] = Dict\n") + count_of(q.text, "] = Array\n"), 1000u);
}

// A deferred position read without a loader fails its Next; the walk shows
// the failure once and carries on after it.
TEST(DebugPrintArray, FailingReadIsReportedOnceAndSkipped)
{
    Obj a = make(array_deferclass_init());
    auto *m = quolan_array_defer_methods(a.get());
    int32_t key = 1;
    m->PutIntAt(a.get(), 1, 0);
    m->PutDeferredAt(a.get(), &key, Integer, 1);
    m->PutIntAt(a.get(), 3, 2);
    m->PutDeferredAt(a.get(), &key, Integer, 3);
    EXPECT_EQ(array(a.get(), 2), (Printed{StatusFailed,
                                          "   [0] = -Integer- <1>\n"
                                          "   !!Error -2\n"
                                          "   [2] = -Integer- <3>\n"
                                          "   !!Error -2\n"}));
}

TEST(DebugPrintArray, DeferredEntriesLoadAsTheWalkPassesThem)
{
    Obj loader = new_dict();
    D(loader.get())->PutIntStringKey(loader.get(), 42, "answer");
    void *key = nullptr;
    int32_t tag = -1;

    Obj a = make(array_deferclass_init());
    auto *ad = quolan_array_defer_methods(a.get());
    ad->SetLoader(a.get(), loader.get());
    ad->PutDeferredAt(a.get(), const_cast<char *>("answer"), String, 0);
    EXPECT_EQ(array(a.get()).text, " [0] = -Integer- <42>\n");
    ad->GetDeferredAt(a.get(), &key, &tag, 0);
    EXPECT_EQ(tag, Null) << "the walk loaded the position and dropped its loader key";

    Obj d = make(dict_deferclass_init());
    auto *dd = quolan_dict_defer_methods(d.get());
    dd->SetLoader(d.get(), loader.get());
    dd->PutDeferredStringKey(d.get(), const_cast<char *>("answer"), String, "k");
    EXPECT_EQ(dict(d.get()).text, " [-String- (owner) <k>] = -Integer- <42>\n");
    dd->GetDeferredStringKey(d.get(), &key, &tag, "k");
    EXPECT_EQ(tag, Null);
}

TEST(DebugPrintDict, EachEntryIsIntroducedByItsKey)
{
    Obj d = new_dict();
    auto *m = D(d.get());
    m->PutIntStringKey(d.get(), 1, "a");
    int32_t seven = 7, yes = 1;
    double half = 2.5;
    m->PutKey(d.get(), const_cast<char *>("x"), OwnedString, &seven, Integer);
    m->PutKey(d.get(), &yes, Boolean, &half, Double);
    EXPECT_EQ(dict(d.get(), 1), (Printed{0,
                                         "  [-String- (owner) <a>] = -Integer- <1>\n"
                                         "  [-Integer- <7>] = -String- (owner) <x>\n"
                                         "  [-Double- <2.500000>] = -Boolean- <true>\n"}));
}

TEST(DebugPrintDict, EntriesAfterKeylessPositionsShowTheirOwnKeyAndIndex)
{
    Obj d = new_dict();
    auto *m = D(d.get());
    m->PutIntStringKey(d.get(), 1, "a");
    m->PutIntStringKey(d.get(), 2, "b");
    m->PutIntStringKey(d.get(), 3, "c");
    m->ClearKey(d.get(), const_cast<char *>("b"), String);
    m->PutIntAt(d.get(), 4, 3);  // by position only: no key, past the keys
    EXPECT_EQ(dict(d.get()).text,
              " [-String- (owner) <a>] = -Integer- <1>\n"
              " [-String- (owner) <c>] = -Integer- <3>\n");
    EXPECT_EQ(array(d.get()).text, " [0] = -Integer- <1>\n [2] = -Integer- <3>\n");
}

TEST(DebugPrintDict, KeyThatCannotBeReadOrPrintedIsReportedWithoutItsValue)
{
    Obj d = new_dict();
    int32_t one = 1;
    D(d.get())->PutKey(d.get(), &one, Integer, nullptr, Object);  // a key with no object
    D(d.get())->PutIntStringKey(d.get(), 2, "b");
    EXPECT_EQ(dict(d.get()),
              (Printed{StatusBadType, " [-Null-\n [-String- (owner) <b>] = -Integer- <2>\n"}));

    static QuolanObject *unreadable = client_class(
        dict_baseclass_init(), DictSlot_Count,
        [](QuolanMethod *t) { reinterpret_cast<DictMethods *>(t)->GetSymbol = unreadable_symbol; });
    Obj u = make(unreadable);
    D(u.get())->PutIntStringKey(u.get(), 1, "a");
    D(u.get())->PutIntStringKey(u.get(), 2, "b");
    EXPECT_EQ(dict(u.get(), 1), (Printed{StatusFailedFlag, "  !!Error 1\n  !!Error 1\n"}));
}

TEST(DebugPrintTyped, HeadersNameAccessModeAndLock)
{
    struct Case {
        int32_t access, lock;
        const char *array_header, *dict_header;
    } cases[] = {
        {ReadWrite, 0, "Read/Write NotLocked", "Read/Write NotLocked"},
        {ReadOnly, 1, "Read Only Locked", "ReadOnly Locked"},
        {5, 256, "Unknown Locked", "Unknown Locked"},
    };
    for (const Case &c : cases) {
        Obj ta = make(array_typedclass_init());
        auto *am = quolan_array_typed_methods(ta.get());
        am->PutIntAt(ta.get(), 5, 0);
        am->SetAccess(ta.get(), c.access);
        am->SetLock(ta.get(), c.lock);
        EXPECT_EQ(array(ta.get(), 2).text,
                  spaces(2) + " " + c.array_header + "\n" + spaces(2) + " [0] = -Integer- <5>\n");

        Obj td = make(dict_typedclass_init());
        auto *dm = quolan_dict_typed_methods(td.get());
        dm->PutIntStringKey(td.get(), 5, "n");
        dm->SetAccess(td.get(), c.access);
        dm->SetLock(td.get(), c.lock);
        EXPECT_EQ(dict(td.get()).text,
                  std::string(" ") + c.dict_header + "\n [-String- (owner) <n>] = -Integer- <5>\n");
        EXPECT_EQ(array(td.get()).text, " [0] = -Integer- <5>\n") << "no header: not an ArrayTyped";
    }
}

TEST(DebugPrintTyped, EmptyAndNestedTypedContainersShowTheirHeaders)
{
    Obj outer = new_array();
    QuolanObject *ta = adopt(outer.get(), make(array_typedclass_init()));
    quolan_array_typed_methods(ta)->SetAccess(ta, ReadOnly);
    EXPECT_EQ(array(ta), (Printed{0, " Read Only NotLocked\n"}));
    QuolanObject *td = adopt(outer.get(), make(dict_typedclass_init()));
    D(td)->PutIntStringKey(td, 1, "k");
    EXPECT_EQ(array(outer.get()).text,
              " [0] = ArrayTyped\n"
              "   Read Only NotLocked\n"
              " [1] = DictTyped\n"
              "   Read/Write NotLocked\n"
              "   [-String- (owner) <k>] = -Integer- <1>\n");
}

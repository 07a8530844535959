// The debug printers: exact text of elements, arrays, dictionaries, typed
// headers and nested containers, and what they answer.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "support.h"

using namespace qt;

namespace {

struct Printed {
    int32_t status;
    std::string text;
    bool operator==(const Printed &) const = default;
};
std::ostream &operator<<(std::ostream &os, const Printed &p) { return os << p.status << " \"" << p.text << "\""; }

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
QuolanObject *adopt(QuolanObject *outer, Obj inner)  // appended as OwnedObject
{
    A(outer)->PutObjectCopyAt(outer, inner.get(), -2);
    return inner.release();
}

}  // namespace

TEST(DebugPrintElement, EveryTagPrintsItsTextWithoutNewline)
{
    int32_t minus = -42, yes = 7, no = 0;
    double half = 2.5;
    char pointer[64];
    std::snprintf(pointer, sizeof pointer, "%p", static_cast<void *>(&half));
    QuolanObject *object = array_baseclass_init();
    struct Case {
        const void *value;
        int32_t tag;
        std::string text;
    } cases[] = {
        {nullptr, Null, "-Null-"}, {&minus, Null, "-Null-"}, {&minus, Integer, "-Integer- <-42>"},
        {&half, Double, "-Double- <2.500000>"}, {"abc", String, "-String- <abc>"},
        {"abc", OwnedString, "-String- (owner) <abc>"}, {object, Object, "-Object-QUOLAN-"},
        {object, OwnedObject, "-Object-QUOLAN- (owner)"},
        {&half, Pointer, std::string("-Pointer- <") + pointer + ">"},
        {&half, OwnedPointer, std::string("-Pointer- (owner) <") + pointer + ">"},
        {&yes, Boolean, "-Boolean- <true>"}, {&no, Boolean, "-Boolean- <false>"},
        {&half, 10, "***???***"}, {&half, -1, "***???***"},
    };
    auto element = [](const void *value, int32_t tag) {
        return capture([&](FILE *f) { return debug_print_element(const_cast<void *>(value), tag, f); });
    };
    for (const Case &c : cases) EXPECT_EQ(element(c.value, c.tag), (Printed{0, c.text})) << "tag " << c.tag;
    // A missing value fails for every tag but Null, unknown tags included.
    for (int32_t tag : {int32_t{Integer}, int32_t{String}, int32_t{Object}, 10})
        EXPECT_EQ(element(nullptr, tag), (Printed{StatusBadType, "-Null-"})) << "tag " << tag;
}

TEST(DebugPrintElement, NullStreamWritesToStandardError)
{
    Obj a = new_array();
    A(a.get())->PutIntAt(a.get(), 5, 0);
    int32_t five = 5;
    std::fflush(stderr);
    FILE *sink = std::tmpfile();
    int saved_fd = dup(2);
    dup2(fileno(sink), 2);
    int32_t statuses = debug_print_element(&five, Integer, nullptr) + debug_print_array(a.get(), 0, nullptr) +
                       debug_print_dict(nullptr, 0, nullptr);
    std::fflush(stderr);
    dup2(saved_fd, 2);
    close(saved_fd);
    std::rewind(sink);
    char text[128] = {};
    size_t n = std::fread(text, 1, sizeof text - 1, sink);
    std::fclose(sink);
    EXPECT_EQ(std::string(text, n), "-Integer- <5> [0] = -Integer- <5>\n**NULL**\n");
    EXPECT_EQ(statuses, StatusBadType);
}

TEST(DebugPrintArray, IndentationFollowsDepthUpTo57Columns)
{
    EXPECT_EQ(array(nullptr, 9), (Printed{StatusBadType, "**NULL**\n"})) << "never indented";
    EXPECT_EQ(dict(nullptr, 9), (Printed{StatusBadType, "**NULL**\n"}));
    Obj a = new_array();
    EXPECT_EQ(array(a.get(), 4), (Printed{0, ""}));
    A(a.get())->PutIntAt(a.get(), 5, 0);
    const std::pair<uint32_t, size_t> depths[] = {{0, 0}, {3, 3}, {60, 57}, {static_cast<uint32_t>(-1), 57}};
    for (auto [depth, indent] : depths)
        EXPECT_EQ(array(a.get(), depth), (Printed{0, spaces(indent) + " [0] = -Integer- <5>\n"}));
    EXPECT_EQ(dict(a.get()), (Printed{0, "Array\n"})) << "an Array has no keys: its class name only";
}

// Nested containers print after their class name, two columns deeper; a
// nested object that cannot name its class ends the walk of its holder, line
// unfinished, and a name too long for 128 bytes is cut to 127 characters.
TEST(DebugPrintArray, EntriesAndNestedContainersInOrder)
{
    Obj outer = new_array();
    auto *m = A(outer.get());
    m->PutStringCopyAt(outer.get(), "text", 0);
    m->PutObjectAt(outer.get(), nullptr, 1);
    m->PutDoubleAt(outer.get(), -0.125, 3);  // position 2 stays Null
    QuolanObject *inner = adopt(outer.get(), new_array());
    A(inner)->PutIntAt(inner, 1, 0);
    adopt(inner, make(nameless_class()));
    A(inner)->PutIntAt(inner, 2, 2);
    QuolanObject *d = adopt(outer.get(), new_dict());
    D(d)->PutIntStringKey(d, 5, "n");
    adopt(outer.get(), Obj(Tracked::make_raw()));
    adopt(outer.get(), make(long_named_class<200>()));
    m->PutIntAt(outer.get(), 2, -2);
    EXPECT_EQ(array(outer.get(), 1), (Printed{0,
                                              "  [0] = -String- (owner) <text>\n"
                                              "  [1] = **NULL**\n"
                                              "  [2] = -Null-\n"
                                              "  [3] = -Double- <-0.125000>\n"
                                              "  [4] = Array\n"
                                              "    [0] = -Integer- <1>\n"
                                              "    [1] =   [5] = Dict\n"
                                              "    [-String- (owner) <n>] = -Integer- <5>\n"
                                              "  [6] = QUOLAN\n"
                                              "  [7] = " + std::string(127, 'x') + "\n"
                                              "  [8] = -Integer- <2>\n"}));
}

TEST(DebugPrintArray, FirstErrorAnywhereIsTheResultAndTheWalkGoesOn)
{
    Obj outer = new_array();
    QuolanObject *inner = adopt(outer.get(), new_array());
    A(inner)->PutStringAt(inner, nullptr, 0);
    A(outer.get())->PutAt(outer.get(), nullptr, Pointer, 1);
    A(outer.get())->PutIntAt(outer.get(), 0, 2);
    EXPECT_EQ(array(outer.get()),
              (Printed{StatusBadType, " [0] = Array\n   [0] = -Null-\n [1] = -Null-\n [2] = -Integer- <0>\n"}));
}

TEST(DebugPrintArray, ContainerHoldingItselfIsCutAtTheNestingLimit)
{
    Obj a = new_array();
    A(a.get())->PutObjectAt(a.get(), a.get(), 0);
    A(a.get())->PutIntAt(a.get(), 7, 1);
    Printed p = array(a.get());
    EXPECT_EQ(p.status, StatusFailed);
    EXPECT_EQ(count_of(p.text, "] = Array\n"), 1000u);
    EXPECT_TRUE(p.text.ends_with(spaces(57) + " !!Error -2\n" + spaces(57) + " [1] = -Integer- <7>\n"));
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
// the failure once and carries on after it.  With a loader, the walk loads.
TEST(DebugPrintArray, DeferredEntriesLoadOrAreReportedOnceAndSkipped)
{
    Obj a = make(array_deferclass_init());
    auto *m = quolan_array_defer_methods(a.get());
    int32_t key = 1;
    m->PutIntAt(a.get(), 1, 0);
    m->PutDeferredAt(a.get(), &key, Integer, 1);
    m->PutDeferredAt(a.get(), &key, Integer, 2);
    EXPECT_EQ(array(a.get(), 2),
              (Printed{StatusFailed, "   [0] = -Integer- <1>\n   !!Error -2\n   !!Error -2\n"}));
    Obj loader = new_dict();
    D(loader.get())->PutKey(loader.get(), K("one"), String, &key, Integer);
    Obj d = make(dict_deferclass_init());
    quolan_dict_defer_methods(d.get())->SetLoader(d.get(), loader.get());
    quolan_dict_defer_methods(d.get())->PutDeferredStringKey(d.get(), &key, Integer, "k");
    EXPECT_EQ(dict(d.get()).text, " [-String- (owner) <k>] = -String- <one>\n");
}

TEST(DebugPrintDict, EachEntryIsIntroducedByItsKeyAndKeylessPositionsAreSkipped)
{
    Obj d = new_dict();
    auto *m = D(d.get());
    int32_t seven = 7, yes = 1;
    double half = 2.5;
    m->PutIntStringKey(d.get(), 1, "a");
    m->PutIntStringKey(d.get(), 2, "b");
    m->PutKey(d.get(), K("x"), OwnedString, &seven, Integer);
    m->PutKey(d.get(), &yes, Boolean, &half, Double);
    m->ClearKey(d.get(), K("b"), String);
    m->PutIntAt(d.get(), 4, 5);  // by position only: no key, past the keys
    EXPECT_EQ(dict(d.get(), 1), (Printed{0,
                                         "  [-String- (owner) <a>] = -Integer- <1>\n"
                                         "  [-Integer- <7>] = -String- (owner) <x>\n"
                                         "  [-Double- <2.500000>] = -Boolean- <true>\n"}));
    EXPECT_EQ(array(d.get()).text, " [0] = -Integer- <1>\n [2] = -String- (owner) <x>\n [3] = -Boolean- <true>\n");
}

TEST(DebugPrintDict, KeyThatCannotBeReadOrPrintedIsReportedWithoutItsValue)
{
    Obj d = new_dict();
    int32_t one = 1;
    D(d.get())->PutKey(d.get(), &one, Integer, nullptr, Object);  // a key with no object
    D(d.get())->PutIntStringKey(d.get(), 2, "b");
    EXPECT_EQ(dict(d.get()), (Printed{StatusBadType, " [-Null-\n [-String- (owner) <b>] = -Integer- <2>\n"}));
    static QuolanObject *unreadable = subclass_of(dict_baseclass_init(), DictSlot_Count);
    table_of<DictMethods>(unreadable)->GetSymbol = [](QuolanObject *, void **, int32_t *, int32_t) -> int32_t {
        return StatusFailedFlag;
    };
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
        Obj outer = new_array();
        QuolanObject *ta = adopt(outer.get(), make(array_typedclass_init()));
        QuolanObject *td = adopt(outer.get(), make(dict_typedclass_init()));
        A(ta)->PutIntAt(ta, 5, 0);
        D(td)->PutIntStringKey(td, 5, "n");
        quolan_array_typed_methods(ta)->SetAccess(ta, c.access);
        quolan_array_typed_methods(ta)->SetLock(ta, c.lock);
        quolan_dict_typed_methods(td)->SetAccess(td, c.access);
        quolan_dict_typed_methods(td)->SetLock(td, c.lock);
        EXPECT_EQ(array(outer.get()).text, std::string(" [0] = ArrayTyped\n   ") + c.array_header +
                                               "\n   [0] = -Integer- <5>\n [1] = DictTyped\n   " + c.dict_header +
                                               "\n   [-String- (owner) <n>] = -Integer- <5>\n");
        EXPECT_EQ(array(td).text, " [0] = -Integer- <5>\n") << "no header: not an ArrayTyped";
    }
    Obj empty = make(array_typedclass_init());
    EXPECT_EQ(array(empty.get(), 2), (Printed{0, "   Read/Write NotLocked\n"}));
}

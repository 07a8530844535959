// The debug printers: a readable dump of a container, or of one element.
//
// Diagnostics only.  A container is reached through its method table alone
// (IsA, SetIndex, GetIndex, Next, GetSymbol, GetAccess) plus the `lock` field
// of the typed classes, so any class of the Array family prints, subclasses
// included.  Everything is written with fprintf to the caller's FILE (stderr
// when NULL) and nothing is flushed: the caller owns the stream.
//
// One walk serves both container printers.  A policy supplies what differs:
// which typed class earns a header (its GetAccess slot, its lock field, its
// word for read-only) and how an entry line is introduced (by position, or
// by key).  Nested arrays and dictionaries print recursively two columns
// deeper; the indentation stops growing at 57 columns.
//
// A walk leaves the printed container's cursor at its end and loads every
// deferred position it passes; it changes nothing else.  The result is the
// first nonzero status met anywhere, nested printers included.
//
// Where the behaviour was ours to choose:
// - A Next failing with anything but StatusOutOfRange is reported once, on
//   an error line;
//   the walk then resumes just after the failing position, or ends when it
//   cannot be moved there.  A walk only ever moves forward: if the cursor is
//   found behind positions already printed (the container was printed again
//   inside itself and its walk reset the cursor), the walk ends.
// - The position and the key printed for an entry are the entry's own, read
//   from the cursor after Next; Dict's Next steps over keyless positions, so
//   the cursor before it may name a position that is not the entry's.
// - Nesting is capped like Save and Load (NestingGuard, 1000 levels): the
//   refused level prints an error line with the code of StatusFailed and
//   answers StatusFailed, so a container
//   that holds itself prints a bounded dump and a nonzero result.
// - A class name is read into a zeroed 1 KiB scratch buffer and at most 127
//   characters are printed, what a 128-byte name buffer holds.
// - Nested depth saturates instead of wrapping past UINT32_MAX.
// - Each printer walks only objects of its own family (IsA "Array" for the
//   array printer, "Dict" for the dictionary printer): an object of another
//   class has no such slots to call.  It prints as a nested object of another
//   class does, its class name on a line of its own and nothing more, and the
//   answer is 0 (nothing at all when it cannot name its class).
//
// May touch: containers through their method tables and the typed classes'
// lock field; the caller's FILE, which is never flushed.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "array_variants/array_typed.h"
#include "dict/dict_typed.h"
#include "framework/nesting.h"

namespace qc {
namespace {

constexpr uint32_t kMaxIndent = 57;
constexpr char kSpaces[] = "                                                         ";
static_assert(sizeof(kSpaces) == kMaxIndent + 1);

// The last min(depth, 57) characters of the constant run of spaces.
const char *indent(uint32_t depth) { return kSpaces + (kMaxIndent - std::min(depth, kMaxIndent)); }

uint32_t deeper(uint32_t depth) { return depth > UINT32_MAX - 2 ? UINT32_MAX : depth + 2; }

// IsA wants a writable name; copying keeps the literals read-only.
// Value references need not be aligned for the datum: copy it out.
template <class T>
T datum(const void *value)
{
    T v;
    std::memcpy(&v, value, sizeof v);
    return v;
}

int32_t print_element(const void *value, int32_t tag, FILE *out)
{
    if (!value && tag != Null) {
        std::fprintf(out, "-Null-");
        return StatusBadType;
    }
    switch (tag) {
    case Null: std::fprintf(out, "-Null-"); break;
    case Integer: std::fprintf(out, "-Integer- <%d>", datum<int32_t>(value)); break;
    case Double: std::fprintf(out, "-Double- <%f>", datum<double>(value)); break;
    case String: std::fprintf(out, "-String- <%s>", static_cast<const char *>(value)); break;
    case OwnedString:
        std::fprintf(out, "-String- (owner) <%s>", static_cast<const char *>(value));
        break;
    case Object: std::fprintf(out, "-Object-QUOLAN-"); break;
    case OwnedObject: std::fprintf(out, "-Object-QUOLAN- (owner)"); break;
    case Pointer: std::fprintf(out, "-Pointer- <%p>", value); break;
    case OwnedPointer: std::fprintf(out, "-Pointer- (owner) <%p>", value); break;
    case Boolean:
        std::fprintf(out, "-Boolean- %s", datum<int32_t>(value) ? "<true>" : "<false>");
        break;
    default: std::fprintf(out, "***???***"); break;
    }
    return StatusOk;
}

template <class Walk>
int32_t print_container(QuolanObject *o, uint32_t depth, FILE *out);

// How the array printer differs.
struct ArrayWalk {
    static constexpr const char *kFamily = "Array";
    static constexpr const char *kTypedClass = "ArrayTyped";
    static constexpr const char *kReadOnly = "Read Only";
    static int32_t access(QuolanObject *o) { return quolan_array_typed_methods(o)->GetAccess(o); }
    static int32_t lock(QuolanObject *o)
    {
        return reinterpret_cast<ArrayTypedInstance *>(o)->typed.lock;
    }
    // Starts an entry line; nonzero ends the entry with that status.
    static int32_t introduce(QuolanObject *, int32_t position, const char *pad, FILE *out)
    {
        std::fprintf(out, "%s [%d] = ", pad, position);
        return StatusOk;
    }
};

// How the dictionary printer differs: its own typed class, and the key
// takes the place of the index.
struct DictWalk {
    static constexpr const char *kFamily = "Dict";
    static constexpr const char *kTypedClass = "DictTyped";
    static constexpr const char *kReadOnly = "ReadOnly";
    static int32_t access(QuolanObject *o) { return quolan_dict_typed_methods(o)->GetAccess(o); }
    static int32_t lock(QuolanObject *o)
    {
        return reinterpret_cast<DictTypedInstance *>(o)->typed.lock;
    }
    static int32_t introduce(QuolanObject *o, int32_t position, const char *pad, FILE *out)
    {
        void *key = nullptr;
        int32_t kind = Null;
        int32_t status = dict_of(o)->GetSymbol(o, &key, &kind, position);
        if (status != StatusOk) {
            std::fprintf(out, "%s !!Error %d\n", pad, status);
            return status;
        }
        std::fprintf(out, "%s [", pad);
        status = print_element(key, kind, out);
        if (status != StatusOk) {
            std::fprintf(out, "\n");  // an unprintable key: the value is not shown
            return status;
        }
        std::fprintf(out, "] = ");
        return StatusOk;
    }
};

// What printing one entry gave: a status to take (0 for none), and whether
// the walk of the container must end here.
struct EntryOutcome {
    int32_t status;
    bool ends_walk;
};

// In a frame of its own so that the scratch buffer is not on the stack
// while nested containers print.
[[gnu::noinline]] bool print_class_name(QuolanObject *o, FILE *out)
{
    char name[1024];
    std::memset(name, 0, sizeof name);
    if (base_of(o)->IsA(o, name) == 0) return false;
    std::fprintf(out, "%.127s\n", name);
    return true;
}

// The text of an entry after its introduction, nested containers included.
EntryOutcome print_value(void *value, int32_t tag, uint32_t depth, FILE *out)
{
    if (tag != Object && tag != OwnedObject) {
        int32_t status = print_element(value, tag, out);
        std::fprintf(out, "\n");
        return {status, false};
    }
    if (!value) {
        std::fprintf(out, "**NULL**\n");
        return {StatusOk, false};
    }
    auto *nested = static_cast<QuolanObject *>(value);
    // A nested object that cannot name its class leaves its line unfinished
    // and ends the walk of the container that holds it.
    if (!print_class_name(nested, out)) return {StatusOk, true};
    if (is_a(nested, "Dict")) return {print_container<DictWalk>(nested, deeper(depth), out), false};
    if (is_a(nested, "Array"))
        return {print_container<ArrayWalk>(nested, deeper(depth), out), false};
    return {StatusOk, false};
}

template <class Walk>
void print_typed_header(QuolanObject *o, const char *pad, FILE *out)
{
    if (!is_a(o, Walk::kTypedClass)) return;
    int32_t mode = Walk::access(o);
    const char *word = mode == ReadWrite  ? "Read/Write"
                       : mode == ReadOnly ? Walk::kReadOnly
                                          : "Unknown";
    std::fprintf(out, "%s %s", pad, word);
    std::fprintf(out, "%s", Walk::lock(o) ? " Locked\n" : " NotLocked\n");
}

// One entry: its introduction (index or key), then its text.
template <class Walk>
EntryOutcome print_entry(QuolanObject *o, int32_t position, void *value, int32_t tag,
                         uint32_t depth, FILE *out)
{
    int32_t status = Walk::introduce(o, position, indent(depth), out);
    if (status != StatusOk) return {status, false};
    return print_value(value, tag, depth, out);
}

// Walks from position 0 with the object's own Next, one line (or nested
// block) per entry, until Next answers StatusOutOfRange.
template <class Walk>
int32_t print_entries(QuolanObject *o, uint32_t depth, FILE *out)
{
    const ArrayMethods *m = array_of(o);
    const char *pad = indent(depth);
    int32_t result = StatusOk;
    int32_t unvisited = 0;  // positions below it are done; the walk never goes back
    m->SetIndex(o, 0);
    for (;;) {
        int32_t before = unvisited;
        m->GetIndex(o, &before);
        void *value = nullptr;
        int32_t tag = Null;
        int32_t status = m->Next(o, &value, &tag);
        if (status == StatusOutOfRange) break;

        // Next leaves the cursor just after the entry it delivered, or on the
        // position where it failed.
        int32_t cursor = before;
        bool known = m->GetIndex(o, &cursor) == StatusOk;
        int32_t position = status == StatusOk && known ? cursor - 1 : cursor;
        if (position < unvisited) break;  // the cursor went back: walked underneath us

        EntryOutcome outcome{status, false};
        if (status == StatusOk) {
            outcome = print_entry<Walk>(o, position, value, tag, depth, out);
        } else {
            std::fprintf(out, "%s !!Error %d\n", pad, status);
        }
        if (outcome.status != StatusOk && result == StatusOk) result = outcome.status;
        if (outcome.ends_walk || position == INT32_MAX) break;
        unvisited = position + 1;
        // A failed Next did not move past its position; step over it once.
        if (status != StatusOk && m->SetIndex(o, unvisited) != StatusOk) break;
    }
    return result;
}

template <class Walk>
int32_t print_container(QuolanObject *o, uint32_t depth, FILE *out)
{
    if (!o) {
        std::fprintf(out, "**NULL**\n");
        return StatusBadType;
    }
    if (!is_a(o, Walk::kFamily)) {
        print_class_name(o, out);
        return StatusOk;
    }
    NestingGuard guard;
    if (!guard.ok()) {
        std::fprintf(out, "%s !!Error %d\n", indent(depth), StatusFailed);
        return StatusFailed;
    }
    print_typed_header<Walk>(o, indent(depth), out);
    return print_entries<Walk>(o, depth, out);
}

FILE *or_stderr(FILE *stream) { return stream ? stream : stderr; }

}  // namespace
}  // namespace qc

extern "C" {

QUOLAN_EXPORT int32_t debug_print_element(void *value, int32_t tag, FILE *stream)
{
    return qc::print_element(value, tag, qc::or_stderr(stream));
}

QUOLAN_EXPORT int32_t debug_print_array(QuolanObject *object, uint32_t depth, FILE *stream)
{
    return qc::print_container<qc::ArrayWalk>(object, depth, qc::or_stderr(stream));
}

QUOLAN_EXPORT int32_t debug_print_dict(QuolanObject *object, uint32_t depth, FILE *stream)
{
    return qc::print_container<qc::DictWalk>(object, depth, qc::or_stderr(stream));
}

}  // extern "C"

// Array Copy and IsEqual.
//
// Copy walks the source as Array's own methods would, whatever its class,
// duplicating what the source owns: owned strings by PutAt, owned objects by
// their own Copy; an owned pointer becomes a borrowed Pointer in the copy.
// Subclasses build their Copy on this one.
//
// IsEqual compares position by position: numbers within 1e-6 (Integer and
// Double compare across), strings by bytes, objects by their own IsEqual,
// pointers by address.  A dictionary never equals anything through it.
#include <algorithm>
#include <cmath>

#include "array/array.h"
#include "framework/nesting.h"

namespace qc {

namespace {

// Copies `source`'s elements into the fresh `copy`; StatusOutOfRange when the whole source
// was walked, another status on failure.
//
// The walk is Array's own whatever the source's class (SetIndex 0, then
// GetIndex and Next until Next fails), and the copy is a fresh Array whose
// PutAt is Array's: so the walk reads the source's storage in position order,
// and each put lands at the same position of an array that only grows.  Both
// are done directly: the copy's storage is reserved as putting position by
// position would grow it, and the source is left where the walk leaves it.
// A nested object's Copy is foreign code that may change the source, so its
// extent and storage are read afresh after each one.
int32_t copy_elements(QuolanObject *copy, QuolanObject *source)
{
    ArrayInstance *from = as_array(source);
    int32_t status = storage::ensure_tables(from);
    if (status != StatusOk) return status;
    // A negative maximum refuses even the walk's SetIndex(0): nothing moves.
    const bool moves_cursor = storage::record(from).max_size >= 0;
    ArrayInstance *to = as_array(copy);
    Element *out = nullptr;
    int32_t read = 0;    // positions the walk has read so far
    bool zeroed = true;  // the copy's storage past `read` reads as Null
    while (status == StatusOk && read < storage::walk_extent(from)) {
        if (read >= storage::used(to)) {
            // The copy's first storage is not zeroed: every element of it is
            // written below before anything can read or release it.
            status = storage::reserve_for_fill(to, storage::walk_extent(from), &out, &zeroed);
            if (status != StatusOk) break;
        }
        // A run that owns nothing to duplicate is copied as it lies: nothing
        // in it can fail or run foreign code (a Null reads as an empty
        // element, an owned pointer becomes a borrowed one).
        const int32_t end = std::min(storage::walk_extent(from), storage::used(to));
        const Element *in = storage::at(from, 0);
        for (; read < end; ++read) {
            const int32_t tag = in[read].tag;
            if (tag == OwnedString || tag == OwnedObject) break;
            if (tag == Null) {
                std::memset(&out[read], 0, sizeof(Element));
            } else {
                out[read] = in[read];
                if (tag == OwnedPointer) out[read].tag = Pointer;
            }
        }
        if (read >= end) continue;
        // A text copy may fail and an object's Copy is foreign code: the rest
        // of the storage reads as Null first.
        if (!zeroed) {
            std::memset(out + read, 0, static_cast<size_t>(to->capacity - read) * sizeof(Element));
            zeroed = true;
        }
        const Element e = in[read];
        Element result = e;
        if (e.tag == OwnedString) {
            result.value.pointer = copy_text(static_cast<const char *>(e.value.pointer));
            if (!result.value.pointer) status = StatusNoMemory;
        } else if (auto *object = static_cast<QuolanObject *>(e.value.pointer)) {
            result.value.pointer = base_of(object)->Copy(object, object);
            if (!result.value.pointer) status = StatusFailed;
        }
        if (status == StatusOk) out[read] = result;
        ++read;  // read, whether or not its copy could be made
    }
    if (!zeroed) std::memset(out + read, 0, static_cast<size_t>(to->capacity - read) * sizeof(Element));
    if (moves_cursor && from->cursors) storage::leave_walked(from, read);
    return status == StatusOk ? StatusOutOfRange : status;
}

bool numbers_close(double a, double b) { return !(std::fabs(a - b) > 1e-6); }

bool strings_equal(const void *a, const void *b)
{
    if (!a || !b) return a == b;
    return std::strcmp(static_cast<const char *>(a), static_cast<const char *>(b)) == 0;
}

bool elements_equal(const Element &a, const Element &b)
{
    switch (a.tag) {
    case Null: return b.tag == Null && a.value.pointer == b.value.pointer;
    case Integer:
        if (b.tag == Integer) return a.value.integer == b.value.integer;
        return b.tag == Double && numbers_close(a.value.integer, b.value.real);
    case Double:
        if (b.tag == Double) return numbers_close(a.value.real, b.value.real);
        return b.tag == Integer && numbers_close(a.value.real, b.value.integer);
    case String:
    case OwnedString: return family(b.tag) == String && strings_equal(a.value.pointer, b.value.pointer);
    case Object:
    case OwnedObject: {
        if (family(b.tag) != Object) return false;
        auto *object = static_cast<QuolanObject *>(a.value.pointer);
        if (!object) return b.value.pointer == nullptr;
        return base_of(object)->IsEqual(object, static_cast<QuolanObject *>(b.value.pointer)) != 0;
    }
    case Pointer:
    case OwnedPointer: return family(b.tag) == Pointer && a.value.pointer == b.value.pointer;
    case Boolean: return b.tag == Boolean && a.value.integer == b.value.integer;
    default: return false;
    }
}

// Reads one position into a private element, taking the datum out of the
// array's storage at once (a later read may grow and move that storage).
bool read_element(QuolanObject *object, int32_t position, Element *out)
{
    void *value = nullptr;
    int32_t tag = Null;
    if (array_of(object)->GetAt(object, &value, &tag, position) != StatusOk) return false;
    if (holds_datum(tag) && !value) return false;
    *out = element_from(value, tag);
    return true;
}

// Whether the comparison may read `o`'s storage itself: it reads its size
// and positions with Array's own GetSizes and GetAt, and all `n` positions
// are in use, so reading them has no effect but moving the cursor.
bool compares_directly(QuolanObject *o, int32_t n)
{
    if (!keeps_array_slots(o, kReadSlots)) return false;
    const DimensionRecord &rec = storage::record(as_array(o));  // GetSizes made the tables
    return rec.used_count == n && (rec.max_size == 0 || n <= rec.max_size);
}

// A Null element reads as a null value, whatever its value word holds.
inline Element as_read(const Element &e) { return e.tag == Null ? Element{Null, {.pointer = nullptr}} : e; }

// Whether elements_equal holds for `x` and `y` because they are the same
// tag and value word of a kind that compares without foreign code: equal
// numbers and Booleans, the same text (strcmp of a text with itself), the
// same pointer, two Nulls.  Objects are left to their own IsEqual.
inline bool alike(const Element &x, const Element &y)
{
    return x.tag == y.tag && x.value.pointer == y.value.pointer &&
           static_cast<uint32_t>(x.tag) <= Boolean && x.tag != Object && x.tag != OwnedObject;
}

int32_t equal_in_storage(ArrayInstance *a, ArrayInstance *b, int32_t n)
{
    int32_t i = 0;
    bool equal = true;
    while (i < n) {
        // A nested IsEqual is foreign code that may have changed either array:
        // a position no longer there reads as a failure, which answers 0.
        const int32_t limit = std::min({n, storage::used(a), storage::used(b)});
        // Elements alike in tag and value word compare equal, and comparing
        // them runs nothing: a run of them is passed over in one loop.
        const Element *x = a->elements, *y = b->elements;
        while (i < limit && alike(x[i], y[i])) ++i;
        if (i >= n) break;
        if (i >= limit) return 0;
        if (!elements_equal(as_read(x[i]), as_read(y[i]))) {
            equal = false;
            break;
        }
        ++i;
    }
    // Position by position reads leave both cursors on the last one read.
    if (n > 0 && a->cursors && b->cursors) {
        const int32_t last = equal ? n - 1 : i;
        storage::leave_read(a, last);
        storage::leave_read(b, last);
    }
    return equal ? 1 : 0;
}

}  // namespace

QuolanObject *Array::Copy(QuolanObject *, QuolanObject *source)
{
    QuolanObject *array_class = array_baseclass;
    // Array's walk reads the source as an Array: anything else has no such
    // storage to read.
    if (!source || !array_class || !laid_out_as_array(source)) return nullptr;
    NestingGuard guard;
    if (!guard.ok()) return nullptr;
    QC_CHECK_STORAGE_ON_RETURN(source);

    // New only needs a header to go by: the source's size, Array's class word
    // and table; New zeroes every other field.
    QuolanObject prototype = {source->size, array_class->class_word, array_class->methods};
    QuolanObject *copy = base_of(&prototype)->New(&prototype);
    if (!copy) return nullptr;
    if (copy_elements(copy, source) != StatusOutOfRange) {
        base_of(copy)->Delete(copy);
        return nullptr;
    }
    return copy;
}

int32_t Array::IsEqual(QuolanObject *self, QuolanObject *other)
{
    if (!other) return 0;
    NestingGuard guard;
    if (!guard.ok()) return 0;
    if (!is_a(other, "Array") || is_a(other, "Dict")) return 0;
    QC_CHECK_STORAGE_ON_RETURN(self);

    int32_t n = array_of(self)->GetSizes(self, nullptr, nullptr);
    if (n < 0 || array_of(other)->GetSizes(other, nullptr, nullptr) != n) return 0;
    if (compares_directly(self, n) && compares_directly(other, n))
        return equal_in_storage(as_array(self), as_array(other), n);
    for (int32_t i = 0; i < n; ++i) {
        Element a, b;
        if (!read_element(self, i, &a) || !read_element(other, i, &b)) return 0;
        if (!elements_equal(a, b)) return 0;
    }
    return 1;
}

}  // namespace qc

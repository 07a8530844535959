// Array Copy and IsEqual.
//
// Copy walks the source with Array's own methods whatever its class (the
// source's table is swapped for Array's during the walk and always restored),
// duplicating what the source owns: owned strings by PutAt, owned objects by
// their own Copy; an owned pointer becomes a borrowed Pointer in the copy.
// Subclasses build their Copy on this one.
//
// IsEqual compares position by position: numbers within 1e-6 (Integer and
// Double compare across), strings by bytes, objects by their own IsEqual,
// pointers by address.  A dictionary never equals anything through it.
#include <cmath>

#include "array/array.h"
#include "framework/nesting.h"

namespace qc {

namespace {

// Restores a table swapped for a walk, on every path out.
class TableSwap {
public:
    TableSwap(QuolanObject *object, QuolanMethod *table) : object_(object), saved_(object->methods)
    {
        object->methods = table;
    }
    ~TableSwap() { object_->methods = saved_; }
    TableSwap(const TableSwap &) = delete;
    TableSwap &operator=(const TableSwap &) = delete;

private:
    QuolanObject *object_;
    QuolanMethod *saved_;
};

// Copies `source`'s elements into the fresh `copy`; -6 when the whole source
// was walked, another status on failure.
int32_t copy_elements(QuolanObject *copy, QuolanObject *source, QuolanObject *array_class)
{
    TableSwap swap(source, array_class->methods);
    const ArrayMethods *m = array_of(array_class);
    m->SetIndex(source, 0);
    for (;;) {
        int32_t position = 0;
        m->GetIndex(source, &position);
        void *value = nullptr;
        int32_t tag = Null;
        int32_t status = m->Next(source, &value, &tag);
        if (status != StatusOk) return status;
        if (tag == OwnedObject && value) {
            auto *object = static_cast<QuolanObject *>(value);
            value = base_of(object)->Copy(object, object);
            if (!value) return StatusFailed;
        } else if (tag == OwnedPointer) {
            tag = Pointer;  // the block stays the source's; the copy borrows it
        }
        status = array_of(copy)->PutAt(copy, value, tag, position);
        if (status != StatusOk) {
            if (tag == OwnedObject && value) {
                auto *object = static_cast<QuolanObject *>(value);
                base_of(object)->Delete(object);
            }
            return status == StatusOutOfRange ? StatusFailed : status;
        }
    }
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

int32_t is_a(QuolanObject *object, const char *name)
{
    char buffer[16];
    std::strncpy(buffer, name, sizeof buffer - 1);
    buffer[sizeof buffer - 1] = '\0';
    return base_of(object)->IsA(object, buffer);
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

}  // namespace

QuolanObject *Array_Copy(QuolanObject *, QuolanObject *source)
{
    QuolanObject *array_class = array_baseclass;
    if (!source || !array_class) return nullptr;
    NestingGuard guard;
    if (!guard.ok()) return nullptr;

    // New only needs a header to go by: the source's size, Array's class word
    // and table; New zeroes every other field.
    QuolanObject prototype = {source->size, array_class->class_word, array_class->methods};
    QuolanObject *copy = base_of(&prototype)->New(&prototype);
    if (!copy) return nullptr;
    if (copy_elements(copy, source, array_class) != StatusOutOfRange) {
        base_of(copy)->Delete(copy);
        return nullptr;
    }
    return copy;
}

int32_t Array_IsEqual(QuolanObject *self, QuolanObject *other)
{
    if (!other) return 0;
    NestingGuard guard;
    if (!guard.ok()) return 0;
    if (!is_a(other, "Array") || is_a(other, "Dict")) return 0;

    int32_t n = array_of(self)->GetSizes(self, nullptr, nullptr);
    if (n < 0 || array_of(other)->GetSizes(other, nullptr, nullptr) != n) return 0;
    for (int32_t i = 0; i < n; ++i) {
        Element a, b;
        if (!read_element(self, i, &a) || !read_element(other, i, &b)) return 0;
        if (!elements_equal(a, b)) return 0;
    }
    return 1;
}

}  // namespace qc

// The "floor" contenders: the least that any container with the library's
// call shape can do per operation, for the workloads where a call per
// element dominates (W1-W3).
//
// Each operation is one call through a method table, with the status as the
// answer and the tag and value reference handed out through pointers, and it
// does exactly what the definition asks of the library there and nothing
// more: an append moves the used count, cursor and current slot and grows
// the storage by 32 elements (zeroed past the end); a read of a position in
// use checks the bounds, moves the cursor and current slot and hands out
// the tag and value reference; a walk step does the same from the cursor and
// moves it on.  No sizes, no class record, no special indexes, no owned
// values.  The functions live in this file alone and are reached through
// the table, so the workloads cannot inline them: the ratio of the library
// to this contender is how far its path is above what its interface shape
// allows.
#include "floor.h"

#include <cstdlib>
#include <cstring>

namespace qb {
namespace {

// Stores to neighbouring fields stay separate stores: merged into one wide
// store, a later narrow load of one of them would wait for it, a cost of
// this compiler's choice rather than of the work.
#if defined(__clang__)
#define QB_FLOOR
#else
#define QB_FLOOR [[gnu::optimize("no-tree-slp-vectorize")]]
#endif

QB_FLOOR int32_t floor_append(FloorArray *a, int32_t value)
{
    const int32_t position = a->used;
    if (position >= a->capacity) {
        const int32_t capacity = a->capacity + 32;
        auto *grown = static_cast<Element *>(std::realloc(a->elements, static_cast<size_t>(capacity) * sizeof(Element)));
        if (!grown) return StatusNoMemory;
        std::memset(grown + a->capacity, 0, 32 * sizeof(Element));
        a->elements = grown;
        a->capacity = capacity;
    }
    a->used = position + 1;
    a->cursor = position;
    a->current = position;
    Element &e = a->elements[position];
    e.tag = Integer;
    e.value.integer = value;
    return StatusOk;
}

QB_FLOOR int32_t floor_get(FloorArray *a, void **value, int32_t *tag, int32_t index)
{
    if (static_cast<uint32_t>(index) >= static_cast<uint32_t>(a->used)) return StatusOutOfRange;
    a->cursor = index;
    a->current = index;
    Element &e = a->elements[index];
    if (tag) *tag = e.tag;
    if (value) *value = &e.value;
    return StatusOk;
}

QB_FLOOR int32_t floor_next(FloorArray *a, void **value, int32_t *tag)
{
    const int32_t at = a->cursor;
    if (static_cast<uint32_t>(at) >= static_cast<uint32_t>(a->used)) return StatusOutOfRange;
    a->cursor = at + 1;
    a->current = at;
    Element &e = a->elements[at];
    if (tag) *tag = e.tag;
    if (value) *value = &e.value;
    return StatusOk;
}

const FloorMethods kFloorMethods = {floor_append, floor_get, floor_next};

}  // namespace

// Read through a volatile pointer, so no call through it can be resolved at
// compile time.
const FloorMethods *volatile floor_methods = &kFloorMethods;

void floor_free(FloorArray *a)
{
    std::free(a->elements);
    *a = FloorArray{};
}

}  // namespace qb

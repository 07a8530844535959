// The cold paths of Array's storage module (see storage.h).
#include "array/storage.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace qc::storage {

static_assert(alignof(DimensionRecord) >= alignof(int32_t), "the cursors may follow the records");

int32_t create_tables(ArrayInstance *a)
{
    if (a->dimensions) return StatusOk;
    if (a->dimension_count < 1) return StatusNoMemory;
    // One block: the prefix, `dimension_count` records, as many cursors.
    const size_t n = static_cast<size_t>(a->dimension_count);
    void *block = mem::zalloc(1, sizeof(TablesPrefix) + n * (sizeof(DimensionRecord) + sizeof(int32_t)));
    if (!block) return StatusNoMemory;
    a->dimensions = reinterpret_cast<DimensionRecord *>(static_cast<TablesPrefix *>(block) + 1);
    a->cursors = reinterpret_cast<int32_t *>(a->dimensions + n);
    return StatusOk;
}

void attach(ArrayInstance *a, Attachment *t)
{
    prefix(a)->vouched = 0;
    Attachment *&slot = prefix(a)->attachment;
    Attachment *old = slot;
    slot = t;
    if (old) old->release(old);
}

void set_sizes(ArrayInstance *a, int32_t initial, int32_t maximum)
{
    if (ensure_tables(a) != StatusOk) return;
    DimensionRecord &rec = record(a);
    rec.initial_size = std::min(initial, maximum);
    rec.max_size = maximum;
    changed(a);
}

// Grows the storage to hold `capacity` elements, zeroing the new ones.  On
// failure the array is left exactly as it was.
static int32_t grow_storage(ArrayInstance *a, int64_t capacity)
{
    if (capacity > INT32_MAX) return StatusNoMemory;
    auto *grown = static_cast<Element *>(mem::grow(a->elements, static_cast<size_t>(capacity) * sizeof(Element)));
    if (!grown) return StatusNoMemory;
    std::memset(grown + a->capacity, 0, static_cast<size_t>(capacity - a->capacity) * sizeof(Element));
    a->elements = grown;
    a->capacity = static_cast<int32_t>(capacity);
    return StatusOk;
}

static int64_t rounded_to_step(int64_t count) { return (count + kGrowthStep - 1) / kGrowthStep * kGrowthStep; }

int32_t select(ArrayInstance *a, int32_t index, bool grow)
{
    int32_t status = ensure_tables(a);
    if (status != StatusOk) return status;
    DimensionRecord &rec = record(a);

    int64_t position;
    if (index == -2) {
        position = rec.used_count;
    } else if (index == -1) {
        position = rec.used_count > 0 ? rec.used_count - 1 : 0;
    } else if (index < -2) {
        return StatusOutOfRange;  // below the special indexes: nothing there
    } else {
        position = index;
        if (!grow && index > 0 && index >= rec.used_count) return StatusOutOfRange;
    }
    if (rec.max_size != 0 && position >= rec.max_size) return StatusOutOfRange;

    if (grow) {
        const int64_t needed = std::max<int64_t>(rec.used_count, position + 1);
        int64_t capacity = rounded_to_step(needed);
        if (rec.max_size != 0) {
            capacity = std::min<int64_t>(capacity, rec.max_size);
            capacity = std::max<int64_t>(capacity, rec.initial_size);
        }
        if (capacity > a->capacity) {
            status = grow_storage(a, capacity);
            if (status != StatusOk) return status;
        }
        rec.used_count = static_cast<int32_t>(needed);
        changed(a);
    }
    a->cursors[a->dimension_count - 1] = static_cast<int32_t>(position);
    a->current_slot = static_cast<int32_t>(position);
    return StatusOk;
}

int32_t reserve_for_fill(ArrayInstance *a, int32_t extent, Element **storage, bool *zeroed)
{
    *zeroed = true;
    int32_t status = ensure_tables(a);
    if (status != StatusOk) return status;
    DimensionRecord &rec = record(a);
    if (a->elements || rec.max_size != 0 || rec.initial_size != 0 || rec.used_count != 0 || extent < 1) {
        status = select(a, extent - 1, true);
        *storage = a->elements;
        return status;
    }
    const int64_t capacity = rounded_to_step(extent);
    if (capacity > INT32_MAX) return StatusNoMemory;
    auto *fresh = static_cast<Element *>(mem::alloc(static_cast<size_t>(capacity) * sizeof(Element)));
    if (!fresh) return StatusNoMemory;
    a->elements = fresh;
    a->capacity = static_cast<int32_t>(capacity);
    rec.used_count = extent;
    changed(a);
    a->cursors[a->dimension_count - 1] = extent - 1;
    a->current_slot = extent - 1;
    *storage = fresh;
    *zeroed = false;
    return StatusOk;
}

int32_t store_rest(ArrayInstance *a, int32_t index, Element incoming, Element *slot)
{
    if (!slot) {
        const int32_t status = select(a, index, true);
        if (status != StatusOk) return status;
    }
    release(replace(a, incoming));
    return StatusOk;
}

int32_t next_position(ArrayInstance *a, int32_t *position)
{
    int32_t status = ensure_tables(a);
    if (status != StatusOk) return status;
    int32_t &c = a->cursors[a->dimension_count - 1];
    if (c == -1) c = 0;
    if (c >= record(a).used_count) return StatusOutOfRange;
    *position = c;
    return StatusOk;
}

int32_t previous_position(ArrayInstance *a, int32_t *position)
{
    int32_t status = ensure_tables(a);
    if (status != StatusOk) return status;
    const int32_t used = record(a).used_count;
    int32_t &c = a->cursors[a->dimension_count - 1];
    if (used == 0 || c == -1 || c > used) return StatusOutOfRange;
    if (c == used) c = used - 1;
    *position = c;
    return StatusOk;
}

Detached detach(ArrayInstance *a)
{
    if (a->dimensions) attach(a, nullptr);
    Detached d{a->elements, a->dimensions ? std::min(record(a).used_count, a->capacity) : 0};
    if (a->dimensions) mem::release(prefix(a));  // the records and cursors with it: one block
    a->elements = nullptr;
    a->dimensions = nullptr;
    a->cursors = nullptr;
    a->capacity = 0;
    a->current_slot = 0;
    return d;
}

#ifndef NDEBUG
void report_broken(const char *rule, const char *method)
{
    std::fprintf(stderr, "quolan: %s returned with an Array whose storage breaks a rule: %s\n", method, rule);
    std::abort();
}
#endif

}  // namespace qc::storage

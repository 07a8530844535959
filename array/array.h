// Array internals shared with the classes built on it.
//
// An Array is a growable run of Elements with one dimension record and one
// cursor (the tables are sized by dimension_count, which is always 1; only
// their last entries are used).  Storage grows in steps of 32 elements and is
// zero beyond used_count, so unused positions read as Null.  Positions never
// move: clearing makes a position Null, nothing closes up.
#pragma once

#include <cstddef>
#include <cstdint>

#include "array/element.h"
#include "framework/class_registry.h"

namespace qc {

struct ArrayInstance {
    QuolanObject header;
    Element *elements;            // `capacity` elements, owned; NULL until first growth
    int32_t dimension_count;      // 1 after Init
    DimensionRecord *dimensions;  // owned; NULL until first needed
    int32_t *cursors;             // owned; NULL until first needed
    int32_t current_slot;         // position chosen by the last index selection
    int32_t capacity;             // elements allocated
};
static_assert(offsetof(ArrayInstance, elements) == 24);
static_assert(offsetof(ArrayInstance, dimension_count) == 32);
static_assert(offsetof(ArrayInstance, dimensions) == 40);
static_assert(offsetof(ArrayInstance, cursors) == 48);
static_assert(offsetof(ArrayInstance, current_slot) == 56);
static_assert(offsetof(ArrayInstance, capacity) == 60);
static_assert(sizeof(ArrayInstance) == 64);

inline ArrayInstance *as_array(QuolanObject *o) { return reinterpret_cast<ArrayInstance *>(o); }

inline DimensionRecord &record_of(ArrayInstance *a) { return a->dimensions[a->dimension_count - 1]; }
inline int32_t &cursor_of(ArrayInstance *a) { return a->cursors[a->dimension_count - 1]; }

constexpr int32_t kGrowthStep = 32;

// Creates the record and cursor tables if missing; 0 or -5.  Both live in
// one block (the cursors follow the records), so they exist together and
// `dimensions` alone says whether they do; Clear releases the block through
// `dimensions`.  The check is inline because every read and walk step
// starts with it.
int32_t create_tables(ArrayInstance *a);
inline int32_t ensure_tables(ArrayInstance *a)
{
    if (a->dimensions) return StatusOk;
    return create_tables(a);
}

// The fast paths below take the common shape only: tables made, and one
// dimension, as Init leaves every Array (dimension_count is never changed
// afterwards).  Anything else takes the full path, which indexes the tables
// by dimension_count.
inline DimensionRecord *single_record(ArrayInstance *a)
{
    return a->dimension_count == 1 ? a->dimensions : nullptr;
}

// The position a write at `index` (0 and up, or -2) lands on when the
// write needs no new storage and no bound is set; -1 otherwise (then take
// select_index).  Does exactly what select_index with growth does there:
// used_count, cursor and current_slot move, capacity stays.
inline int32_t select_for_write(ArrayInstance *a, int32_t index)
{
    DimensionRecord *rec = single_record(a);
    if (!rec || rec->max_size != 0) return -1;
    const int32_t position = index == -2 ? rec->used_count : index;
    // With no bound the capacity wanted is the used count rounded up to the
    // step; when the capacity is itself a multiple of the step, that fits
    // exactly when the position is below it.  One unsigned compare also
    // turns away the negative indexes other than -2.
    if (static_cast<uint32_t>(position) >= static_cast<uint32_t>(a->capacity) ||
        (a->capacity & (kGrowthStep - 1)) != 0)
        return -1;
    if (position >= rec->used_count) rec->used_count = position + 1;
    a->cursors[0] = position;
    a->current_slot = position;
    return position;
}

// Whether `index` is a position in use that a read may select without
// growth or bound trouble; if so, selects it as an index selection does
// (cursor and current_slot on it).  Otherwise nothing changes: take the full
// path.
inline bool select_in_use(ArrayInstance *a, int32_t index)
{
    const DimensionRecord *rec = single_record(a);
    if (!rec) return false;
    // One unsigned compare rejects negative indexes and those past the end.
    if (static_cast<uint32_t>(index) >= static_cast<uint32_t>(rec->used_count)) return false;
    if (rec->max_size != 0 && index >= rec->max_size) return false;
    a->cursors[0] = index;
    a->current_slot = index;
    return true;
}

// What a read of `e` hands out: its tag, and its value reference (see
// value_ref in element.h), each only when asked for.
inline void read_out(const Element &e, void **value, int32_t *tag)
{
    const int32_t t = e.tag;
    if (tag) *tag = t;
    if (!value) return;
    if (holds_datum(t))
        *value = const_cast<void *>(static_cast<const void *>(&e.value));
    else
        *value = t == Null ? nullptr : e.value.pointer;
}

// Resolves an index (-1 last in use, -2 just after it), checks its bounds,
// grows the storage when asked, and moves the cursor and current_slot there.
int32_t select_index(ArrayInstance *a, int32_t index, bool grow);

// select_index(a, extent - 1, true) for an array without storage or sizes,
// as a fresh copy is: the same allocation, capacity, used count, cursor and
// current_slot, but the storage is not zeroed.  `*zeroed` says false when
// that is so: the caller then writes every element up to the capacity
// before anything else reads or releases one.  Any other array gets
// select_index itself, and `*zeroed` says true.
int32_t select_unfilled(ArrayInstance *a, int32_t extent, bool *zeroed);

extern const ClassDescriptor kArrayClass;

// Array's own methods, for subclasses that chain up and for the fast paths
// that call them directly when an object's class record says its slot holds
// Array's behaviour.
int32_t Array_Init(QuolanObject *self);
void Array_Clear(QuolanObject *self);
int32_t Array_PutAt(QuolanObject *self, void *value, int32_t tag, int32_t index);
int32_t Array_GetAt(QuolanObject *self, void **value, int32_t *tag, int32_t index);
int32_t Array_Next(QuolanObject *self, void **value, int32_t *tag);
int32_t Array_Previous(QuolanObject *self, void **value, int32_t *tag);
int32_t Array_ClearAt(QuolanObject *self, int32_t index);
int32_t Array_SetIndex(QuolanObject *self, int32_t index);
int32_t Array_GetIndex(QuolanObject *self, int32_t *index);
int32_t Array_GetSizes(QuolanObject *self, int32_t *initial, int32_t *maximum);
int32_t Array_Save(QuolanObject *self, QuolanObject *stream, int32_t mode);
int32_t Array_Load(QuolanObject *self, QuolanObject *stream, int32_t mode);
QuolanObject *Array_Copy(QuolanObject *prototype, QuolanObject *source);
int32_t Array_IsEqual(QuolanObject *self, QuolanObject *other);

// Slot sets the fast paths ask the class record about.
constexpr uint64_t kReadSlots = slot_bit(ArraySlot_GetSizes) | slot_bit(ArraySlot_GetAt);
constexpr uint64_t kPutSlot = slot_bit(ArraySlot_PutAt);
// What Array's Clear walks with, Next aside (Dict's keyed walk is Array's
// once its key store is gone).
constexpr uint64_t kClearSlots = slot_bit(ArraySlot_SetIndex) | slot_bit(ArraySlot_GetIndex) |
                                 slot_bit(ArraySlot_GetAt) | slot_bit(ArraySlot_ClearAt);

// PutAt through the object's own table, or Array's directly when the class
// record says that is what the table holds.
inline int32_t put_at(QuolanObject *self, void *value, int32_t tag, int32_t index)
{
    if (keeps_array_slots(self, kPutSlot)) return Array_PutAt(self, value, tag, index);
    return array_of(self)->PutAt(self, value, tag, index);
}

// Array's PutAt of a datum (Integer, Double, Boolean) already read into
// `incoming`.  Neither the same-pointer rule nor a copy applies to a datum,
// so the put is the index selection, the store, and then the release of
// what the position held.  The common case, a position that needs no growth
// and held nothing owned, is a straight line; put_datum_rest does the rest
// from `slot`, the element selected already or NULL when none was.
[[gnu::noinline]] int32_t put_datum_rest(ArrayInstance *a, Element incoming, int32_t index, Element *slot);
inline int32_t put_datum(ArrayInstance *a, Element incoming, int32_t index)
{
    if (index == -2) {
        // An append lands beyond the used count, where storage is zero:
        // there is nothing to release.
        DimensionRecord *rec = single_record(a);
        if (!rec) return put_datum_rest(a, incoming, index, nullptr);
        const int32_t position = rec->used_count;
        if (rec->max_size != 0 || position >= a->capacity || (a->capacity & (kGrowthStep - 1)) != 0)
            return put_datum_rest(a, incoming, index, nullptr);
        rec->used_count = position + 1;
        a->cursors[0] = position;
        a->current_slot = position;
        a->elements[position] = incoming;
        return StatusOk;
    }
    const int32_t position = select_for_write(a, index);
    if (position < 0) return put_datum_rest(a, incoming, index, nullptr);
    Element *slot = &a->elements[position];
    if (is_owned(slot->tag)) return put_datum_rest(a, incoming, index, slot);
    *slot = incoming;
    return StatusOk;
}

// Array's PutAt of an OwnedString whose copy is made already: `copy`, a
// block from alloc_text or copy_text, or NULL when making it failed (the
// position then ends Null and the put answers -5, as a put whose own copy
// failed).  A copy the put cannot store is released.
int32_t put_text_copy(ArrayInstance *a, char *copy, int32_t index);

// An Element holding a datum, its value word cleared first as element_from
// leaves it.
inline Element int_element(int32_t tag, int32_t datum)
{
    Element e;
    e.tag = tag;
    e.value.pointer = nullptr;
    e.value.integer = datum;
    return e;
}

// Array's Clear.  `walks_as_array` says that the object's SetIndex, GetIndex,
// GetAt, Next and ClearAt act as Array's, so one pass over the storage does
// what the walk through them would; otherwise the walk goes through the
// object's own table so subclasses clear their per-position state.
void clear_elements(QuolanObject *self, bool walks_as_array);

// ClearAt without the release: selects `index` through the object's own
// SetIndex, leaves the position an empty Null element and hands what it held
// to the caller, who releases it once nothing else is left to do.
int32_t take_at(QuolanObject *self, int32_t index, Element *taken);

// Whether `o` is laid out as an Array: its class record says so, or, for a
// class the library did not make, it is large enough and answers to "Array".
bool laid_out_as_array(QuolanObject *o);

// The class records of the container variants (typed, deferred): laid out as
// their parent, with PutAt, GetAt and ClearAt their own, and for the keyed
// variants Dict's keyed walk as well.
constexpr uint64_t kVariantSlots =
    slot_bit(ArraySlot_PutAt) | slot_bit(ArraySlot_GetAt) | slot_bit(ArraySlot_ClearAt);
constexpr ClassRecord kVariantRecord = {.array_layout = true, .array_slots = kArraySlots & ~kVariantSlots};
constexpr ClassRecord kKeyedVariantRecord = {
    .array_layout = true,
    .array_slots = kArraySlots & ~kVariantSlots & ~(slot_bit(ArraySlot_Next) | slot_bit(ArraySlot_Previous))};

// Writes the eight slots a container variant (typed, deferred) overrides,
// taking each from the static member of `Impl` with the slot's name.
template <class Impl, class Table>
inline void install_variant_overrides(Table *t)
{
    t->Init = Impl::Init;
    t->Clear = Impl::Clear;
    t->Save = Impl::Save;
    t->Load = Impl::Load;
    t->Copy = Impl::Copy;
    t->PutAt = Impl::PutAt;
    t->GetAt = Impl::GetAt;
    t->ClearAt = Impl::ClearAt;
}

// A new plain Array (for inner stores), or NULL.
QuolanObject *new_plain_array();

// The private store held in `*slot`, created first if there is none; NULL
// when it cannot be made.
QuolanObject *ensure_store(QuolanObject **slot);

// Deletes the private store held in `*slot`.  The slot is emptied first, so
// code that the store's Delete runs (an owned key's Delete) finds no store;
// a store made again meanwhile is deleted as well.
void drop_store(QuolanObject **slot);

}  // namespace qc

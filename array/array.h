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

// Creates the record and cursor tables if missing; 0 or -5.  The check is
// inline because every read and walk step starts with it.
int32_t create_tables(ArrayInstance *a);
inline int32_t ensure_tables(ArrayInstance *a)
{
    if (a->cursors && a->dimensions) return StatusOk;
    return create_tables(a);
}

// The element a write at `index` (0 and up, or -2) lands on when the write
// needs no new storage and no bound is set; NULL otherwise (then take
// select_index).  Does exactly what select_index with growth does there:
// used_count, cursor and current_slot move, capacity stays.
inline Element *select_for_write(ArrayInstance *a, int32_t index)
{
    if (!a->cursors || !a->dimensions) return nullptr;
    DimensionRecord &rec = record_of(a);
    if (rec.max_size != 0 || (index < 0 && index != -2)) return nullptr;
    const int32_t position = index == -2 ? rec.used_count : index;
    // With no bound the capacity wanted is the used count rounded up to the
    // step; when the capacity is itself a multiple of the step, that fits
    // exactly when the position is below it.
    if (position >= a->capacity || (a->capacity & (kGrowthStep - 1)) != 0) return nullptr;
    if (position >= rec.used_count) rec.used_count = position + 1;
    cursor_of(a) = position;
    a->current_slot = position;
    return &a->elements[position];
}

// The element at `index` when it is a position in use that a read may select
// without growth or bound trouble; NULL otherwise (then take the full path).
// Moves the cursor and current_slot there, as an index selection does.
inline Element *select_in_use(ArrayInstance *a, int32_t index)
{
    if (!a->cursors || !a->dimensions) return nullptr;
    const DimensionRecord &rec = record_of(a);
    // One unsigned compare rejects negative indexes and those past the end.
    if (static_cast<uint32_t>(index) >= static_cast<uint32_t>(rec.used_count)) return nullptr;
    if (rec.max_size != 0 && index >= rec.max_size) return nullptr;
    cursor_of(a) = index;
    a->current_slot = index;
    return &a->elements[index];
}

// Resolves an index (-1 last in use, -2 just after it), checks its bounds,
// grows the storage when asked, and moves the cursor and current_slot there.
int32_t select_index(ArrayInstance *a, int32_t index, bool grow);

extern const ClassDescriptor kArrayClass;

// Array's own methods, for subclasses that chain up and for the shortcuts
// that may skip the table when it holds these very functions.
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

// Array's Clear, with the walk over the elements done in one pass when
// `plain` says the object reads, walks and clears with Array's own methods.
void clear_elements(QuolanObject *self, bool plain);
// Whether `self` walks and clears with Array's own methods; `own_next` is a
// subclass's Next that behaves as Array's at the time of asking (or NULL).
bool clears_as_array(QuolanObject *self, QuolanMethod own_next);

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

}  // namespace qc

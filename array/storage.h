// The one way into an Array's storage and walk state.
//
// An Array is a growable run of Elements with one dimension record and one
// cursor (the tables are sized by dimension_count, which is always 1; only
// their last entries are used).  Storage grows in steps of 32 elements and is
// zero beyond used_count, so unused positions read as Null.  Positions never
// move: clearing makes a position Null, nothing closes up.
//
// Everything that selects a position (for a read, a write or an append),
// stores into storage, or leaves the cursor and current_slot behind goes
// through the functions below; no other code writes `cursors`,
// `current_slot`, `used_count` or an element.  The rules they keep:
//
//   selecting   moves the cursor and current_slot to the position; a write
//               grows the storage to the next multiple of 32 (within the
//               maximum size) and raises used_count past the position
//   storing     acts on the element current_slot names; what it held is
//               handed back, and released by the caller once the position
//               holds its new content (the release may run an owned object's
//               Delete, which may reach back into this array)
//   walk state  where a walk that reads positions in order would have left
//               the cursor and current_slot, written in one go by the fast
//               paths that read storage instead of walking
//
// The tables' block starts with a prefix for a mechanism that keeps
// something about the array: an Attachment, which it allocates and which
// is released with the tables; a few bytes of its own (the note), which
// cost no allocation; and a bit per record it keeps that says the record
// describes the array as it is, which it sets and every change made here to
// the storage or its extent clears.  The key search keeps its index and its
// note there, beside a key or member store.
//
// Invariants (broken() checks them; debug builds check them when a method
// returns): the tables exist together; used_count within capacity; storage
// present exactly when capacity is; every element beyond used_count zero;
// the cursor within [-1, used_count]; current_slot within the storage.
//
// May touch: an Array's storage, tables and walk state; nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "array/element.h"
#include "framework/class_registry.h"

namespace qc {

struct ArrayInstance {
    QuolanObject header;
    Element *elements;            // `capacity` elements, owned; NULL until first growth
    int32_t dimension_count;      // 1 after Init
    DimensionRecord *dimensions;  // owned; NULL until first needed
    int32_t *cursors;             // owned, in the block `dimensions` heads; NULL until first needed
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
inline const ArrayInstance *as_array(const QuolanObject *o) { return reinterpret_cast<const ArrayInstance *>(o); }

constexpr int32_t kGrowthStep = 32;

// Something a mechanism keeps beside an array; see above.
struct Attachment {
    void (*release)(Attachment *);  // frees it, when the array's tables go
};

// The prefix of the tables' block; see above.  Zero when the tables are
// made.  It lies just before the records `dimensions` points at, so it is
// found without a look at the cursors.
constexpr size_t kNoteBytes = 12;
struct TablesPrefix {
    Attachment *attachment;
    unsigned char note[kNoteBytes];
    uint32_t vouched;  // a bit per record that describes the array as it is
};
// With one record and one cursor the block is 40 bytes, a 48-byte chunk
// of the allocator.
static_assert(sizeof(TablesPrefix) == 24 && sizeof(TablesPrefix) % alignof(DimensionRecord) == 0);

namespace storage {

// ---- tables ----

// Creates the record and cursor tables if missing; StatusOk or
// StatusNoMemory.  Both live in one block, so `dimensions` alone says
// whether they exist.
int32_t create_tables(ArrayInstance *a);
inline int32_t ensure_tables(ArrayInstance *a) { return a->dimensions ? StatusOk : create_tables(a); }

// REQUIRES: the tables exist.
inline DimensionRecord &record(ArrayInstance *a) { return a->dimensions[a->dimension_count - 1]; }
inline const DimensionRecord &record(const ArrayInstance *a) { return a->dimensions[a->dimension_count - 1]; }
inline int32_t cursor(const ArrayInstance *a) { return a->cursors[a->dimension_count - 1]; }

// The prefix.  REQUIRES: the tables exist.
inline TablesPrefix *prefix(const ArrayInstance *a) { return reinterpret_cast<TablesPrefix *>(a->dimensions) - 1; }
inline Attachment *attachment(const ArrayInstance *a) { return a->dimensions ? prefix(a)->attachment : nullptr; }
// Hangs `t` on the array, releasing what hung there; no record vouches for
// the array then.  REQUIRES: the tables exist.
void attach(ArrayInstance *a, Attachment *t);

// Whether the record `bit` stands for describes the array as it is; that it
// does; that the array changed, so that none does.  REQUIRES: the tables
// exist.
inline bool vouched(const ArrayInstance *a, uint32_t bit) { return (prefix(a)->vouched & bit) != 0; }
inline void vouch(const ArrayInstance *a, uint32_t bit) { prefix(a)->vouched |= bit; }
inline void changed(ArrayInstance *a) { prefix(a)->vouched = 0; }

// Positions in use; 0 before the tables exist.
inline int32_t used(const ArrayInstance *a) { return a->dimensions ? record(a).used_count : 0; }

// The record when the array has the shape the fast paths take: tables made,
// one dimension, as Init leaves every Array; NULL otherwise.
inline DimensionRecord *single(ArrayInstance *a) { return a->dimension_count == 1 ? a->dimensions : nullptr; }

// The positions a walk of Next through Array's GetAt reads: positions at or
// beyond a maximum lowered after they were written are refused, so the walk
// ends there.
inline int32_t walk_extent(const ArrayInstance *a)
{
    if (!a->dimensions) return 0;
    const DimensionRecord &rec = record(a);
    if (rec.max_size == 0) return rec.used_count;
    return rec.max_size < 0 ? 0 : (rec.used_count < rec.max_size ? rec.used_count : rec.max_size);
}

// SetSizes: the tables made first (nothing changes when they cannot be).
void set_sizes(ArrayInstance *a, int32_t initial, int32_t maximum);

// ---- selecting ----

// Resolves an index (-1 last in use, -2 just after it), checks its bounds,
// grows the storage when asked, and moves the cursor and current_slot there.
int32_t select(ArrayInstance *a, int32_t index, bool grow);

// The element at `index` when it is a position in use that a read may
// select without growth or bound trouble, selected as select selects it;
// NULL otherwise, and nothing changes: take select.
inline const Element *select_in_use(ArrayInstance *a, int32_t index)
{
    const DimensionRecord *rec = single(a);
    if (!rec) return nullptr;
    // One unsigned compare rejects negative indexes and those past the end.
    if (static_cast<uint32_t>(index) >= static_cast<uint32_t>(rec->used_count)) return nullptr;
    if (rec->max_size != 0 && index >= rec->max_size) return nullptr;
    a->cursors[0] = index;
    a->current_slot = index;
    return &a->elements[index];
}

// Whether a write at `position` needs neither growth nor a bound check: the
// array is unbounded, its capacity a whole number of steps (the capacity a
// write would want is the used count rounded up to a step, which such a
// capacity holds exactly when the position lies below it), the position
// inside it.  One unsigned compare also turns away negative positions.
inline bool within_storage(const ArrayInstance *a, const DimensionRecord *rec, int32_t position)
{
    return rec->max_size == 0 && (a->capacity & (kGrowthStep - 1)) == 0 &&
           static_cast<uint32_t>(position) < static_cast<uint32_t>(a->capacity);
}

// select(index, grow) where that needs no new storage: the element selected,
// with `*fresh` true when it lay beyond the used count (storage there is
// zero, so nothing is released); NULL when the write needs the full path.
// Selects a position within_storage vouched for, as select would: used_count
// raised past it, `*fresh` true when it lay beyond the used count.
inline Element *select_inside(ArrayInstance *a, DimensionRecord *rec, int32_t position, bool *fresh)
{
    *fresh = position >= rec->used_count;
    if (*fresh) rec->used_count = position + 1;
    changed(a);  // a write follows
    a->cursors[0] = position;
    a->current_slot = position;
    return &a->elements[position];
}
inline Element *select_within(ArrayInstance *a, int32_t index, bool *fresh)
{
    DimensionRecord *rec = single(a);
    if (!rec) return nullptr;
    const int32_t position = index == -2 ? rec->used_count : index;
    return within_storage(a, rec, position) ? select_inside(a, rec, position, fresh) : nullptr;
}

// select(index, grow) for a write, the common case inline.
inline int32_t select_for_write(ArrayInstance *a, int32_t index)
{
    bool fresh;
    return select_within(a, index, &fresh) ? StatusOk : select(a, index, true);
}

// select(extent - 1, grow) for an array without storage or sizes, as a fresh
// copy is, answering its storage for the caller to fill: the same
// allocation, capacity, used count, cursor and current_slot, but the storage
// is not zeroed.  `*zeroed` says false when that is so; the caller then
// writes every element up to the capacity before anything else reads or
// releases one.  Any other array gets select itself, and `*zeroed` says true.
int32_t reserve_for_fill(ArrayInstance *a, int32_t extent, Element **storage, bool *zeroed);

// ---- storing at current_slot ----

// The element current_slot names, or NULL when it lies outside the storage
// (an owned object's Delete may have cleared the array since it was chosen).
inline const Element *selected(const ArrayInstance *a)
{
    if (!a->elements || a->current_slot < 0 || a->current_slot >= a->capacity) return nullptr;
    return &a->elements[a->current_slot];
}

// REQUIRES: a successful selection just before (selected() is not NULL).
inline Element replace(ArrayInstance *a, const Element &incoming)
{
    changed(a);
    Element &slot = a->elements[a->current_slot];
    const Element old = slot;
    slot = incoming;
    return old;
}
inline void retag(ArrayInstance *a, int32_t tag)
{
    changed(a);
    a->elements[a->current_slot].tag = tag;
}
inline Element take(ArrayInstance *a)
{
    changed(a);
    return qc::take(a->elements[a->current_slot]);
}

// Selects `index` for a write and stores `incoming` there, releasing what the
// position held once it holds the new element.  On a refused selection
// nothing changes and its status is answered.
[[gnu::noinline]] int32_t store_rest(ArrayInstance *a, int32_t index, Element incoming, Element *slot);
[[gnu::always_inline]] inline int32_t store(ArrayInstance *a, int32_t index, Element incoming)
{
    bool fresh;
    Element *slot = select_within(a, index, &fresh);
    // Where storage is zero or holds nothing owned there is nothing to
    // release; the rest, and the full selection, out of line.
    if (!slot || !(fresh || !is_owned(slot->tag))) return store_rest(a, index, incoming, slot);
    *slot = incoming;
    return StatusOk;
}

// Whether a store of a datum at `position` can neither fail nor run foreign
// code: no bound, no growth, and nothing owned there to release.
inline bool stores_quietly(ArrayInstance *a, int32_t position)
{
    const DimensionRecord *rec = single(a);
    return rec && within_storage(a, rec, position) && !is_owned(a->elements[position].tag);
}

// The store at a position stores_quietly vouched for: nothing there to
// release, nothing that can fail.
inline void store_quietly(ArrayInstance *a, int32_t position, const Element &incoming)
{
    bool fresh;
    *select_inside(a, a->dimensions, position, &fresh) = incoming;
}

// Puts `e` back at `position` when that position lies in the storage and
// holds an empty Null element (what take leaves): a block taken out for an
// operation that then failed goes back where it was.  False otherwise.
inline bool put_back(ArrayInstance *a, int32_t position, const Element &e)
{
    if (!a->elements || position < 0 || position >= a->capacity) return false;
    Element &slot = a->elements[position];
    if (slot.tag != Null || slot.value.pointer) return false;
    changed(a);
    slot = e;
    return true;
}

// The element at `position` when it lies in the storage, else NULL.
inline const Element *at(const ArrayInstance *a, int32_t position)
{
    if (!a->elements || position < 0 || position >= a->capacity) return nullptr;
    return &a->elements[position];
}

// ---- walk state ----

// Where SetIndex(0) and Next over positions 0 .. read - 1 leave the array:
// the cursor on the next position, current_slot on the last one read (0
// when none was).  REQUIRES: the tables exist.
inline void leave_walked(ArrayInstance *a, int32_t read)
{
    a->cursors[a->dimension_count - 1] = read;
    a->current_slot = read > 0 ? read - 1 : 0;
}

// Where reading positions by GetAt, the last at `last`, leaves the array:
// cursor and current_slot on it.  Nothing moves without tables.
inline void leave_read(ArrayInstance *a, int32_t last)
{
    if (!a->cursors) return;
    a->cursors[a->dimension_count - 1] = last;
    a->current_slot = last;
}

// Moves the cursor by `delta` (a walk's step after its read); puts it at
// `cursor` (Clear's walk, after each ClearAt).  Nothing moves once the
// tables are gone: the read may have cleared the array.
inline void step_cursor(ArrayInstance *a, int32_t delta)
{
    if (a->cursors) a->cursors[a->dimension_count - 1] += delta;
}
inline void set_cursor(ArrayInstance *a, int32_t cursor)
{
    if (a->cursors) a->cursors[a->dimension_count - 1] = cursor;
}

// The position Next reads next, a cursor of -1 made 0 as Next makes it;
// StatusOutOfRange at the end.  The tables are made first.
int32_t next_position(ArrayInstance *a, int32_t *position);
// The position Previous reads next, a cursor at used_count made the last
// position as Previous makes it; StatusOutOfRange at either end.
int32_t previous_position(ArrayInstance *a, int32_t *position);

// Next by an array whose GetAt is Array's own, on a position in use: the
// element read in place, the cursor moved on, current_slot where GetAt would
// leave it.  False when the next position needs the full path.
inline bool next_in_place(ArrayInstance *a, void **value, int32_t *tag)
{
    const DimensionRecord *rec = single(a);
    if (!rec) return false;
    int32_t &cursor = a->cursors[0];
    const int32_t at = cursor == -1 ? 0 : cursor;
    if (static_cast<uint32_t>(at) >= static_cast<uint32_t>(rec->used_count) ||
        (rec->max_size != 0 && at >= rec->max_size))
        return false;
    read_out(a->elements[at], value, tag);
    cursor = at + 1;
    a->current_slot = at;
    return true;
}

// ---- release ----

// Empties the array: storage, tables and sizes forgotten (the attachment
// released with them), current_slot 0.
// Answers the storage it held and how many positions were in use, for the
// caller to release; the array is consistent (and empty) before then.
struct Detached {
    Element *elements;
    int32_t used;
};
Detached detach(ArrayInstance *a);

// ---- invariants ----

// The first storage rule broken, or NULL.  Reads fields only.
inline const char *broken(const ArrayInstance *a)
{
    if (a->dimension_count != 1) return "an Array has one dimension";
    if (!a->dimensions) return a->elements ? "storage without a size record" : nullptr;
    const DimensionRecord &rec = a->dimensions[0];
    if (rec.used_count < 0 || rec.used_count > a->capacity) return "used_count outside the capacity";
    if ((a->capacity > 0) != (a->elements != nullptr)) return "storage and capacity disagree";
    if (rec.initial_size > rec.max_size) return "initial size above the maximum";
    if (!a->cursors) return "a size record without a cursor";
    const int32_t c = a->cursors[0];
    if (c < -1 || c > rec.used_count) return "cursor outside [-1, used_count]";
    if (a->current_slot < 0 || a->current_slot > (rec.used_count > a->capacity ? rec.used_count : a->capacity))
        return "current_slot outside the storage";
    static const Element kZero{};
    for (int32_t p = rec.used_count; p < a->capacity; ++p)
        if (std::memcmp(&a->elements[p], &kZero, sizeof kZero) != 0) return "storage beyond used_count not zero";
    return nullptr;
}


// Debug builds check the storage of `o` when the method holding the guard
// returns, and stop the process naming the rule and the method when one is
// broken, so a test sees the fault where it happens; release builds do
// nothing.
#ifdef NDEBUG
class ExitCheck {
public:
    ExitCheck(const void *, const char *) {}
};
#else
[[noreturn]] void report_broken(const char *rule, const char *method);
class ExitCheck {
public:
    ExitCheck(const void *o, const char *method) : a_(static_cast<const ArrayInstance *>(o)), method_(method) {}
    ~ExitCheck()
    {
        if (const char *rule = broken(a_)) report_broken(rule, method_);
    }
    ExitCheck(const ExitCheck &) = delete;
    ExitCheck &operator=(const ExitCheck &) = delete;

private:
    const ArrayInstance *a_;
    const char *method_;
};
#endif
// Guards the storage of `o` for the rest of the enclosing method.
#define QC_CHECK_STORAGE_ON_RETURN(o) const ::qc::storage::ExitCheck qc_storage_check_((o), __func__)

}  // namespace storage

}  // namespace qc

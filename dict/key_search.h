// The one search behind Dict keys and GenSet members.
//
// Both classes keep what they look up in a private plain Array, the store,
// one entry per position; a Null entry is a free position.  Positions never
// move, so a position found once stays valid until its entry is cleared.
// Lookup is a linear scan in position order: no hashing, no index kept
// beside the store.  The two classes differ only in which free position a
// new entry takes (Dict the last, GenSet the first), and that difference is
// the FreePosition parameter.
//
// Entries compare under their match kind (match_kind in array/element.h):
// Integer by value, Double with == (a NaN never matches, 0.0 matches -0.0),
// texts byte for byte; every other kind (objects, pointers, and the Boolean
// and Null kinds that have no meaning as keys) by comparing the pointer
// given with the value reference the store's GetAt would hand out.
//
// The store belongs to its container, which creates it on first use through
// ensure_store and deletes it with drop_store in its Clear (array/array.h).
//
// May touch: the store it is given, nothing else.
#pragma once

#include <cstdint>
#include <cstring>

#include "array/array.h"

namespace qc {

enum class FreePosition { Last, First };

// True when `key` cannot stand for a value of `kind`: numbers and texts are
// passed by reference, so a NULL there names nothing.  Lookups of such a key
// find nothing; callers that would store it refuse with -3.
constexpr bool lacks_referent(const void *key, int32_t kind)
{
    return !key && (holds_datum(kind) || kind == String || kind == OwnedString);
}

// Finds `key` of `kind` in `store` and answers its position.  On a miss with
// `create` set the key is put, with the kind exactly as given, at the free
// position chosen by `rule`, else appended; `*created` (when given) then
// says 1.  Answers -1 on a miss without `create`, or when the put fails.
// The store's cursor ends where a walk with SetIndex(0) and Next would leave
// it: one past a hit, at the end after a miss, at the new entry after a put.
int32_t find_in_store(QuolanObject *store, const void *key, int32_t kind, bool create,
                      FreePosition rule, int32_t *created);

// find_in_store for an Integer key, with its common case inline for the hot
// paths that call it: a store with storage and one dimension, whose class
// record says it walks, reads, puts and answers GetIndex as a plain Array.
// The scan, the cursor it leaves and the put of a missing key are then
// exactly what find_in_store does for such a store.
constexpr uint64_t kPlainStoreSlots = slot_bit(ArraySlot_SetIndex) | slot_bit(ArraySlot_Next) |
                                      slot_bit(ArraySlot_GetAt) | slot_bit(ArraySlot_PutAt) |
                                      slot_bit(ArraySlot_GetIndex);
inline int32_t find_int32(QuolanObject *store, const void *key, bool create, FreePosition rule)
{
    ArrayInstance *a = as_array(store);
    DimensionRecord *rec = single_record(a);
    if (!key || !rec || !a->elements || (class_record(store).array_slots & kPlainStoreSlots) != kPlainStoreSlots)
        return find_in_store(store, key, Integer, create, rule, nullptr);
    int32_t wanted;
    std::memcpy(&wanted, key, sizeof wanted);
    const Element *const entries = a->elements;
    const int32_t used = rec->used_count;
    int32_t free_position = -1;
    for (int32_t p = 0; p < used; ++p) {
        const Element &e = entries[p];
        if (e.tag == Integer) {
            if (e.value.integer != wanted) continue;
            a->cursors[0] = p + 1;  // a walk stops one past the hit
            a->current_slot = p;
            return p;
        }
        if (e.tag == Null && (rule == FreePosition::Last || free_position < 0)) free_position = p;
    }
    a->cursors[0] = used;  // a walk that found nothing ends at the end
    a->current_slot = used > 1 ? used - 1 : 0;
    if (!create) return -1;
    if (put_datum(a, int_element(Integer, wanted), free_position >= 0 ? free_position : -2) != StatusOk)
        return -1;
    return a->cursors[0];  // Array's GetIndex after the put
}

// The entry at `position` read with the store's GetAt into the caller's
// outputs; 0 when the read succeeded, 1 otherwise (also when no store can
// be made).
int32_t store_entry_at(QuolanObject **slot, void **value, int32_t *kind, int32_t position);

// The text of the entry at `position` when it is a text entry, else NULL.
// The text stays owned by whoever owned it in the store.
const char *store_text_at(QuolanObject **slot, int32_t position);

}  // namespace qc

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
// A store whose class record says it walks, reads and puts as a plain Array
// (every store the library makes) is searched in its storage through the
// storage module; any other is walked through its own table.
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
// find nothing; callers that would store it refuse with StatusBadType.
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

// Clears `position` of `store` (a key withdrawn, a member removed) as the
// store's own ClearAt does, keeping its index up to date; answers that
// ClearAt's status.
int32_t clear_in_store(QuolanObject *store, int32_t position);

// The entry at `position` read with the store's GetAt into the caller's
// outputs; 0 when the read succeeded, 1 otherwise (also when no store can
// be made).
int32_t store_entry_at(QuolanObject **slot, void **value, int32_t *kind, int32_t position);

// The text of the entry at `position` when it is a text entry, else NULL.
// The text stays owned by whoever owned it in the store.
const char *store_text_at(QuolanObject **slot, int32_t position);

}  // namespace qc

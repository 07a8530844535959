// Array internals shared with the classes built on it.
//
// Array's own methods are the static members of `Array`: subclasses chain up
// to them through the Array class's table, and fast paths call them directly
// when an object's class record says its slot holds them.  Storage and walk
// state are reached only through the storage module (storage.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "array/storage.h"

namespace qc {

extern const ClassDescriptor kArrayClass;

struct Array : ClassFramework<kArrayClass> {
    static int32_t Init(QuolanObject *self);
    static void Clear(QuolanObject *self);
    static int32_t Save(QuolanObject *self, QuolanObject *stream, int32_t mode);
    static int32_t Load(QuolanObject *self, QuolanObject *stream, int32_t mode);
    static QuolanObject *Copy(QuolanObject *prototype, QuolanObject *source);
    static int32_t IsEqual(QuolanObject *self, QuolanObject *other);
    static int32_t SetDimension(QuolanObject *self, int32_t count);
    static void SetSizes(QuolanObject *self, int32_t initial, int32_t maximum);
    static int32_t GetSizes(QuolanObject *self, int32_t *initial, int32_t *maximum);
    static int32_t SetIndex(QuolanObject *self, int32_t index);
    static int32_t GetIndex(QuolanObject *self, int32_t *index);
    static int32_t PutAt(QuolanObject *self, void *value, int32_t tag, int32_t index);
    static int32_t PutBooleanAt(QuolanObject *self, int32_t value, int32_t index);
    static int32_t PutIntAt(QuolanObject *self, int32_t value, int32_t index);
    static int32_t PutDoubleAt(QuolanObject *self, double value, int32_t index);
    static int32_t PutStringAt(QuolanObject *self, const char *value, int32_t index);
    static int32_t PutStringCopyAt(QuolanObject *self, const char *value, int32_t index);
    static int32_t PutObjectAt(QuolanObject *self, QuolanObject *value, int32_t index);
    static int32_t PutObjectCopyAt(QuolanObject *self, QuolanObject *value, int32_t index);
    static int32_t PutPtrAt(QuolanObject *self, void *value, int32_t index);
    static int32_t PutPtrCopyAt(QuolanObject *self, void *value, int32_t index);
    static int32_t GetAt(QuolanObject *self, void **value, int32_t *tag, int32_t index);
    static int32_t Next(QuolanObject *self, void **value, int32_t *tag);
    static int32_t Previous(QuolanObject *self, void **value, int32_t *tag);
    static int32_t ClearAt(QuolanObject *self, int32_t index);
};

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
    if (keeps_array_slots(self, kPutSlot)) return Array::PutAt(self, value, tag, index);
    return array_of(self)->PutAt(self, value, tag, index);
}

// Array's PutAt of a datum (Integer, Double, Boolean) already read into
// `incoming`: neither the same-pointer rule nor a copy applies to a datum,
// so it is the store itself.
inline int32_t put_datum(ArrayInstance *a, Element incoming, int32_t index)
{
    return storage::store(a, index, incoming);
}

// Array's PutAt of an OwnedString whose copy is made already: `copy`, a
// block from alloc_text or copy_text, or NULL when making it failed (the
// position then ends Null and the put answers StatusNoMemory, as a put whose
// own copy failed).  A copy the put cannot store is released.
[[gnu::always_inline]] inline int32_t put_text_copy(ArrayInstance *a, char *copy, int32_t index)
{
    const int32_t status = storage::store(a, index, text_element(copy));
    if (status != StatusOk) {
        mem::release(copy);
        return status;
    }
    return copy ? StatusOk : StatusNoMemory;
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

// A new plain Array (for inner stores), or NULL.
QuolanObject *new_plain_array();

// The private store held in `*slot`, created first if there is none; NULL
// when it cannot be made.
inline QuolanObject *ensure_store(QuolanObject **slot)
{
    if (!*slot) *slot = new_plain_array();
    return *slot;
}

// Deletes the private store held in `*slot`.  The slot is emptied first, so
// code that the store's Delete runs (an owned key's Delete) finds no store;
// a store made again meanwhile is deleted as well.
void drop_store(QuolanObject **slot);

}  // namespace qc

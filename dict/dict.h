// Dict internals shared with the classes built on it (DictTyped, DictDefer).
//
// A Dict is an Array whose positions can also be reached by key.  Its keys
// live in a private plain Array, the key store, at the same positions as
// their values; a Null key is a free position.  The key store is created on
// first use and deleted by Clear.
//
// May touch: the layout and the shared keyed helpers; no behaviour here.
#pragma once

#include "array/array.h"

namespace qc {

struct DictInstance {
    ArrayInstance array;
    QuolanObject *key_store;  // owned plain Array; NULL until first needed
};
static_assert(offsetof(DictInstance, key_store) == 64);
static_assert(sizeof(DictInstance) == 72);

inline DictInstance *as_dict(QuolanObject *o) { return reinterpret_cast<DictInstance *>(o); }

extern const ClassDescriptor kDictClass;

// The key store, created if missing; NULL when it cannot be made.
QuolanObject *key_store_of(QuolanObject *dict);

// The position of `key` of `kind`, or -1.  With `create`, a missing key is
// entered at the last free position (else appended) and `*created` (may be
// NULL) says 1.  Moves only the key store's cursor.
int32_t find_key(QuolanObject *dict, const void *key, int32_t kind, bool create, int32_t *created);

// Dict's own methods, for subclasses that chain up (through dict_baseclass's
// table) and for the shortcuts that may skip the table when it holds these.
int32_t Dict_Init(QuolanObject *self);
void Dict_Clear(QuolanObject *self);
int32_t Dict_Save(QuolanObject *self, QuolanObject *stream, int32_t mode);
int32_t Dict_Load(QuolanObject *self, QuolanObject *stream, int32_t mode);
QuolanObject *Dict_Copy(QuolanObject *prototype, QuolanObject *source);
int32_t Dict_Next(QuolanObject *self, void **value, int32_t *tag);
int32_t Dict_Previous(QuolanObject *self, void **value, int32_t *tag);
int32_t Dict_PutKey(QuolanObject *self, void *value, int32_t kind, void *key, int32_t key_kind);
int32_t Dict_GetKey(QuolanObject *self, void **value, int32_t *kind, void *key, int32_t key_kind);
int32_t Dict_ClearKey(QuolanObject *self, void *key, int32_t key_kind);

}  // namespace qc

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

// Dict's own methods: subclasses chain up to them through dict_baseclass's
// table.
struct Dict : ClassFramework<kDictClass> {
    static int32_t Init(QuolanObject *self);
    static void Clear(QuolanObject *self);
    static int32_t Save(QuolanObject *self, QuolanObject *stream, int32_t mode);
    static int32_t Load(QuolanObject *self, QuolanObject *stream, int32_t mode);
    static QuolanObject *Copy(QuolanObject *prototype, QuolanObject *source);
    static int32_t Next(QuolanObject *self, void **value, int32_t *tag);
    static int32_t Previous(QuolanObject *self, void **value, int32_t *tag);
    static int32_t StringSymbolIndex(QuolanObject *self, const char *key);
    static int32_t SymbolIndex(QuolanObject *self, void *key, int32_t kind);
    static const char *GetStringSymbol(QuolanObject *self, int32_t position);
    static int32_t GetSymbol(QuolanObject *self, void **key, int32_t *kind, int32_t position);
    static int32_t PutStringKey(QuolanObject *self, void *value, int32_t kind, const char *key);
    static int32_t PutIntStringKey(QuolanObject *self, int32_t value, const char *key);
    static int32_t PutDoubleStringKey(QuolanObject *self, double value, const char *key);
    static int32_t GetStringKey(QuolanObject *self, void **value, int32_t *kind, const char *key);
    static int32_t PutKey(QuolanObject *self, void *value, int32_t kind, void *key, int32_t key_kind);
    static int32_t GetKey(QuolanObject *self, void **value, int32_t *kind, void *key, int32_t key_kind);
    static int32_t ClearKey(QuolanObject *self, void *key, int32_t key_kind);
};

}  // namespace qc

// What every container's storage must look like between two calls.
//
// check_invariants(object) walks an object of any of the seven classes (or a
// class derived from one) through its pinned layout and answers NULL, or the
// first rule it finds broken.  It reads fields only: no method is called, no
// cursor moves, nothing is allocated.  Debug builds only; with NDEBUG it
// answers NULL without looking.
//
// Rules, per storage:
//   Array      one dimension; tables both present or both absent once Init
//              ran; used_count within capacity; storage present exactly when
//              capacity is; every element beyond used_count zero; cursor in
//              [-1, used_count]; current_slot in [0, max(used_count,
//              capacity)]; initial size not above the maximum.
//   stores     every private store (key, member, type, deferred) is a plain
//              Array obeying the rules above.
//   Dict       no two keys equal under their match kind (pointers aside,
//              which a copy may pair).
//   GenSet     no two members equal under their match kind.
//   index      a key or member store's index answers what the walk would:
//              every key's first position, the free positions, the
//              borrowed texts (see check_index).
//   typed      type-store entries are Null or owned type-list texts.
//   deferred   a loader key stands only where the container holds a Null
//              element, below its used_count.
// The key and member rules hold for what the library's own operations
// build; a hostile stream may load keys that break them, so `strict` false
// skips them.
//
// May touch: the instance layouts of every class; used by tests and by
// debug tooling, never by the library's own code paths.
#pragma once

#include <cmath>
#include <cstring>

#include "array/array.h"
#include "array_variants/array_defer.h"
#include "array_variants/array_typed.h"
#include "dict/dict_defer.h"
#include "dict/dict_typed.h"
#include "genset/genset.h"
#include "mechanisms/key_index.h"

namespace qc {

#ifndef NDEBUG

namespace invariants {

inline bool is_class(const QuolanObject *o, QuolanObject *cls) { return cls && o->methods == cls->methods; }

inline int32_t used_of(const ArrayInstance *a) { return storage::used(a); }

inline const char *check_array(const QuolanObject *o)
{
    const ArrayInstance *a = as_array(o);
    if (const char *broken = storage::broken(a)) return broken;
    for (int32_t p = 0; p < used_of(a); ++p)
        if (a->elements[p].tag == OwnedString && !a->elements[p].value.pointer) return "an owned text without its block";
    return nullptr;
}

inline const char *check_store(QuolanObject *store)
{
    if (!store) return nullptr;
    if (!is_class(store, array_baseclass)) return "a private store that is not a plain Array";
    return check_array(store);
}

inline bool same_entry(const Element &a, const Element &b)
{
    if (match_kind(a.tag) != match_kind(b.tag)) return false;
    switch (match_kind(a.tag)) {
    case Null: return false;  // free positions
    case Boolean: return false;  // never found again, so never a repeat
    // A copy borrows what its source owned: a Pointer and an OwnedPointer
    // key of the same block come out as two Pointer keys.
    case Pointer: return false;
    case Integer: return a.value.integer == b.value.integer;
    case Double: return a.value.real == b.value.real;
    case String:
        return a.value.pointer && b.value.pointer &&
               std::strcmp(static_cast<const char *>(a.value.pointer), static_cast<const char *>(b.value.pointer)) == 0;
    default: return a.value.pointer == b.value.pointer;
    }
}

inline const char *check_unique(QuolanObject *store)
{
    if (!store) return nullptr;
    const auto *a = reinterpret_cast<const ArrayInstance *>(store);
    for (int32_t i = 0; i < used_of(a); ++i)
        for (int32_t j = i + 1; j < used_of(a); ++j)
            if (same_entry(a->elements[i], a->elements[j])) return "two equal keys or members";
    return nullptr;
}

// A key or member store's index, when it claims to describe the store as
// it is (one that does not is rebuilt before its next use), must answer
// what the walk answers: for every key the lowest position that holds it,
// every free position and no other, every borrowed text.
inline const char *check_index(QuolanObject *store)
{
    if (!store) return nullptr;
    const ArrayInstance *a = as_array(store);
    const KeyIndex *x = index_of(a);
    if (!x || !x->current(a)) return nullptr;
    const Element *e = storage::at(a, 0);
    if (x->positions < x->extent || static_cast<uint32_t>(x->extent) + KeyIndex::kPositionBase > x->position_mask() + 1)
        return "the index does not cover the store's positions";
    uint32_t live = 0, duplicates = 0;
    int32_t free_count = 0, borrowed = 0;
    for (int32_t p = 0; p < x->extent; ++p) {
        const size_t w = static_cast<size_t>(p) / 64;
        if (x->is_free(p) != (e[p].tag == Null)) return "the index's free positions are not the Null ones";
        if (((x->free_summary[w / 64] >> (w % 64)) & 1) != (x->free_words[w] != 0)) return "a free summary bit is wrong";
        free_count += x->is_free(p);
        if (e[p].tag == String) {
            ++borrowed;
            bool listed = false;
            for (int32_t k = 0; k < x->borrowed_count; ++k) listed = listed || x->borrowed[k] == p;
            if (!listed) return "a borrowed text the index does not list";
        }
        const Hash hash = entry_hash(e[p], x->seed);
        if (x->hashes[p] != hash) return "an entry filed under another hash than its own";
        if (!hash) continue;
        ++live;
        int32_t first = p;
        for (int32_t q = 0; q < p && first == p; ++q)
            if (entry_hash(e[q], x->seed) && same_key(e[q], e[p])) first = q;
        duplicates += first < p;
        if (x->find(e, hash, [&](const Element &o) { return same_key(o, e[p]); }) != first)
            return "the index finds another position than the walk";
    }
    if (live != x->live || duplicates != x->duplicates) return "the index counts its entries wrong";
    if (free_count != x->free_count || borrowed != x->borrowed_count) return "the index counts free or borrowed positions wrong";
    if ((x->live + x->removed) * 10 > (x->mask + 1) * 7) return "the index table is fuller than it may be";
    return nullptr;
}

inline const char *check_keys(QuolanObject *o, bool strict)
{
    QuolanObject *keys = reinterpret_cast<DictInstance *>(o)->key_store;
    if (const char *broken = check_store(keys)) return broken;
    if (const char *broken = check_index(keys)) return broken;
    return strict ? check_unique(keys) : nullptr;
}

inline const char *check_typed(const TypedFields &f, bool strict)
{
    if (const char *broken = check_store(f.type_store)) return broken;
    if (!strict || !f.type_store) return nullptr;
    const auto *t = reinterpret_cast<const ArrayInstance *>(f.type_store);
    for (int32_t p = 0; p < used_of(t); ++p)
        if (t->elements[p].tag != Null && (t->elements[p].tag != OwnedString || !t->elements[p].value.pointer))
            return "a type list that is not owned text";
    return nullptr;
}

inline const char *check_deferred(QuolanObject *o, QuolanObject *store)
{
    if (const char *broken = check_store(store)) return broken;
    if (!store) return nullptr;
    const auto *a = reinterpret_cast<const ArrayInstance *>(o);
    const auto *s = reinterpret_cast<const ArrayInstance *>(store);
    for (int32_t p = 0; p < used_of(s); ++p) {
        if (s->elements[p].tag == Null) continue;
        if (p >= used_of(a)) return "a loader key beyond the container's positions";
        if (a->elements[p].tag != Null) return "a loader key over a value";
    }
    return nullptr;
}

// Whether `o` is of class `cls` or of a class derived from it (asked with
// IsA, which wants a writable name).
inline bool family_is(QuolanObject *o, QuolanObject *cls, const char *name)
{
    if (!cls) return false;
    if (is_class(o, cls)) return true;
    char buffer[16];
    std::strncpy(buffer, name, sizeof buffer - 1);
    buffer[sizeof buffer - 1] = '\0';
    return base_of(o)->IsA(o, buffer) != 0;
}

}  // namespace invariants

inline const char *check_invariants(QuolanObject *o, bool strict = true)
{
    using namespace invariants;
    if (!o) return nullptr;
    if (family_is(o, genset_baseclass, "GenSet")) {
        QuolanObject *members = reinterpret_cast<GenSetInstance *>(o)->member_store;
        if (const char *broken = check_store(members)) return broken;
        if (const char *broken = check_index(members)) return broken;
        return strict ? check_unique(members) : nullptr;
    }
    if (const char *broken = check_array(o)) return broken;
    if (family_is(o, dict_baseclass, "Dict")) {
        if (const char *broken = check_keys(o, strict)) return broken;
    }
    if (family_is(o, array_typedclass, "ArrayTyped"))
        return check_typed(reinterpret_cast<ArrayTypedInstance *>(o)->typed, strict);
    if (family_is(o, dict_typedclass, "DictTyped"))
        return check_typed(reinterpret_cast<DictTypedInstance *>(o)->typed, strict);
    if (family_is(o, array_deferclass, "ArrayDefer"))
        return check_deferred(o, reinterpret_cast<ArrayDeferInstance *>(o)->deferred_store);
    if (family_is(o, dict_deferclass, "DictDefer"))
        return check_deferred(o, reinterpret_cast<DictDeferInstance *>(o)->deferred_store);
    return nullptr;
}

#else

inline const char *check_invariants(QuolanObject *, bool = true) { return nullptr; }

#endif

}  // namespace qc

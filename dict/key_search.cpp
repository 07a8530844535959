// The shared key/member search (see key_search.h).
//
// The search is defined as a walk of the store with its own SetIndex(0) and
// Next, numbering the entries it reads.  A store whose class record says it
// reads and walks as Array's own methods do (every store made by
// ensure_store or by Array's Copy is a plain Array) is scanned in its storage
// instead, and what the walk would have left behind, its cursor and
// current_slot, is written back in one go; any other store is walked through
// its table.  Both compare with the same predicate.
#include "dict/key_search.h"

#include <cstring>

namespace qc {

namespace {

struct Scan {
    int32_t hit;            // number of the match, or -1
    int32_t free_position;  // chosen free position, or -1 when none was met
};

// Byte-for-byte equality up to and including the NUL.  Keys are short and
// most differ within their first bytes, where an inline loop answers before
// a call to strcmp would have started.
inline bool same_text(const char *a, const char *b)
{
    while (*a == *b) {
        if (*a == '\0') return true;
        ++a;
        ++b;
    }
    return false;
}

template <class T>
inline T datum(const void *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// How entries of the kind sought compare with the key: numbers by value (a
// NaN never matches, 0.0 matches -0.0), texts byte for byte, every other
// kind (objects, pointers, and the Boolean and Null kinds that have no
// meaning as keys) by comparing the value reference a read of the store
// hands out with the key itself.  A key that names nothing matches nothing.
enum class Compare { Integer, Double, Text, Identity, Nothing };

template <Compare C>
inline bool matches(const void *ref, const void *key)
{
    if constexpr (C == Compare::Integer) return datum<int32_t>(ref) == datum<int32_t>(key);
    else if constexpr (C == Compare::Double) return datum<double>(ref) == datum<double>(key);
    else if constexpr (C == Compare::Text)
        return ref && same_text(static_cast<const char *>(ref), static_cast<const char *>(key));
    else if constexpr (C == Compare::Identity) return ref == key;
    else return false;
}

// The reference GetAt hands out for `e`, without the call.
inline const void *reference_of(const Element &e)
{
    if (e.tag == Null) return nullptr;
    if (holds_datum(e.tag)) return &e.value;
    return e.value.pointer;
}

inline void note_free(Scan &s, int32_t number, FreePosition rule)
{
    if (!(rule == FreePosition::First && s.free_position >= 0)) s.free_position = number;
}

// One pass over the storage of a plain store, for entries of match kind
// `wanted`.
template <Compare C>
Scan scan_storage(const Element *entries, int32_t used, int32_t wanted, const void *key,
                  FreePosition rule)
{
    Scan s{-1, -1};
    for (int32_t p = 0; p < used; ++p) {
        const Element &e = entries[p];
        if (e.tag == Null) note_free(s, p, rule);
        if (match_kind(e.tag) == wanted && matches<C>(reference_of(e), key)) {
            s.hit = p;
            return s;
        }
    }
    return s;
}

// The defined walk, through the store's own methods.
template <Compare C>
Scan scan_walk(QuolanObject *store, int32_t wanted, const void *key, FreePosition rule)
{
    Scan s{-1, -1};
    const ArrayMethods *m = array_of(store);
    m->SetIndex(store, 0);
    void *ref = nullptr;
    int32_t tag = Null;
    for (int32_t n = 0; m->Next(store, &ref, &tag) == StatusOk; ++n) {
        if (tag == Null) note_free(s, n, rule);
        if (match_kind(tag) == wanted && matches<C>(ref, key)) {
            s.hit = n;
            return s;
        }
    }
    return s;
}

template <Compare C>
Scan scan(QuolanObject *store, bool in_storage, int32_t wanted, const void *key, FreePosition rule)
{
    if (!in_storage) return scan_walk<C>(store, wanted, key, rule);
    ArrayInstance *a = as_array(store);
    if (!a->elements) return {-1, -1};
    return scan_storage<C>(a->elements, record_of(a).used_count, wanted, key, rule);
}

Scan scan_for(QuolanObject *store, bool in_storage, const void *key, int32_t kind, FreePosition rule)
{
    const int32_t wanted = match_kind(kind);
    if (lacks_referent(key, kind)) return scan<Compare::Nothing>(store, in_storage, wanted, key, rule);
    switch (wanted) {
    case Integer: return scan<Compare::Integer>(store, in_storage, wanted, key, rule);
    case Double: return scan<Compare::Double>(store, in_storage, wanted, key, rule);
    case String: return scan<Compare::Text>(store, in_storage, wanted, key, rule);
    default: return scan<Compare::Identity>(store, in_storage, wanted, key, rule);
    }
}

// Where SetIndex(0) followed by Next up to `hit` (or to the end) leaves the
// store: the cursor one past the entry last read, current_slot on it.
void settle_cursor(ArrayInstance *store, int32_t hit)
{
    const int32_t used = record_of(store).used_count;
    const int32_t last_read = hit >= 0 ? hit : used - 1;
    cursor_of(store) = hit >= 0 ? hit + 1 : used;
    store->current_slot = last_read > 0 ? last_read : 0;
}

constexpr uint64_t kWalkSlots = slot_bit(ArraySlot_SetIndex) | slot_bit(ArraySlot_Next) |
                                slot_bit(ArraySlot_GetAt);

}  // namespace

int32_t find_in_store(QuolanObject *store, const void *key, int32_t kind, bool create,
                      FreePosition rule, int32_t *created)
{
    if (created) *created = 0;
    ArrayInstance *a = as_array(store);
    // The walk would fail its first step here, and so would any put.
    if (ensure_tables(a) != StatusOk) return -1;
    const bool in_storage = keeps_array_slots(store, kWalkSlots);
    const Scan found = scan_for(store, in_storage, key, kind, rule);
    if (in_storage) settle_cursor(a, found.hit);
    if (found.hit >= 0) return found.hit;
    if (!create || lacks_referent(key, kind)) return -1;

    const ArrayMethods *m = array_of(store);
    int32_t target = found.free_position >= 0 ? found.free_position : -2;
    if (m->PutAt(store, const_cast<void *>(key), kind, target) != StatusOk) return -1;
    int32_t position = -1;
    if (m->GetIndex(store, &position) != StatusOk) return -1;
    if (created) *created = 1;
    return position;
}

int32_t store_entry_at(QuolanObject **slot, void **value, int32_t *kind, int32_t position)
{
    QuolanObject *store = ensure_store(slot);
    if (!store) return StatusFailedFlag;
    int32_t status = array_of(store)->GetAt(store, value, kind, position);
    return status == StatusOk ? StatusOk : StatusFailedFlag;
}

const char *store_text_at(QuolanObject **slot, int32_t position)
{
    void *value = nullptr;
    int32_t kind = Null;
    if (store_entry_at(slot, &value, &kind, position) != StatusOk) return nullptr;
    return family(kind) == String ? static_cast<const char *>(value) : nullptr;
}

}  // namespace qc

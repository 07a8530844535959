// The shared key/member search (see key_search.h).
//
// The scan reads the store's element storage directly instead of stepping
// with a dispatched Next per entry: stores are always plain Arrays made by
// ensure_store, so their Next and GetAt are Array's and hold no surprises.
// What a walk through those methods would leave behind is then written back
// in one go (settle_cursor), so nothing observable differs from the walk.
#include "dict/key_search.h"

#include <cstring>

namespace qc {

namespace {

struct Scan {
    int32_t hit;            // position of the match, or -1
    int32_t free_position;  // chosen free position, or -1 when none was met
};

// One pass over the first `used` entries.  `equal` is only asked about
// entries whose match kind is the one sought.
template <class Equal>
inline Scan scan(const Element *entries, int32_t used, int32_t wanted, FreePosition rule,
                 Equal equal)
{
    int32_t free_position = -1;
    const bool keep_first = rule == FreePosition::First;
    for (int32_t p = 0; p < used; ++p) {
        const Element &e = entries[p];
        if (e.tag == Null && !(keep_first && free_position >= 0)) free_position = p;
        if (match_kind(e.tag) == wanted && equal(e)) return {p, free_position};
    }
    return {-1, free_position};
}

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

// The value reference GetAt hands out for `e`: the comparison for every
// kind that is matched by identity.
inline const void *reference_of(const Element &e)
{
    if (e.tag == Null) return nullptr;
    if (holds_datum(e.tag)) return &e.value;
    return e.value.pointer;
}

Scan scan_for(const ArrayInstance *store, const void *key, int32_t kind, FreePosition rule)
{
    const int32_t used = store->dimensions[store->dimension_count - 1].used_count;
    const Element *entries = store->elements;
    if (used <= 0 || !entries) return {-1, -1};
    const int32_t wanted = match_kind(kind);
    if (lacks_referent(key, kind)) return {-1, -1};  // names nothing, so matches nothing
    switch (wanted) {
    case Integer: {
        int32_t v;
        std::memcpy(&v, key, sizeof v);
        return scan(entries, used, wanted, rule,
                    [v](const Element &e) { return e.value.integer == v; });
    }
    case Double: {
        double v;
        std::memcpy(&v, key, sizeof v);
        return scan(entries, used, wanted, rule,
                    [v](const Element &e) { return e.value.real == v; });
    }
    case String: {
        const char *text = static_cast<const char *>(key);
        return scan(entries, used, wanted, rule, [text](const Element &e) {
            const char *stored = static_cast<const char *>(e.value.pointer);
            return stored && same_text(stored, text);
        });
    }
    default:
        return scan(entries, used, wanted, rule,
                    [key](const Element &e) { return reference_of(e) == key; });
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

}  // namespace

QuolanObject *ensure_store(QuolanObject **slot)
{
    if (!*slot) *slot = new_plain_array();
    return *slot;
}

int32_t find_in_store(QuolanObject *store, const void *key, int32_t kind, bool create,
                      FreePosition rule, int32_t *created)
{
    if (created) *created = 0;
    ArrayInstance *a = as_array(store);
    // The walk would fail its first step here, and so would any put.
    if (ensure_tables(a) != StatusOk) return -1;

    const Scan found = scan_for(a, key, kind, rule);
    settle_cursor(a, found.hit);
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

// The shared key/member search (see key_search.h).
//
// The search is defined as a walk of the store with its own SetIndex(0) and
// Next, numbering the entries it reads: the first entry that matches wins,
// and the free position a new entry takes is the last (Dict) or the first
// (GenSet) Null met.  A store whose class record says it reads, walks, puts
// and clears as Array's own methods do (every store made by ensure_store or
// by Array's Copy is a plain Array) is searched in its storage instead:
// through its key index (key_index.h) once it holds enough positions, else
// by a scan that its note (key_index.h) may spare; and what the walk would
// have left behind, the cursor and current_slot, is written back in one go.
// Any other store is walked through its table.  All of them compare with
// the same predicate, one per kind of key.
#include "mechanisms/key_search.h"

namespace qc {

namespace search {

// Enters `key` of `kind` at the free position found (or appends it) and
// answers where it went, as the store's own PutAt and GetIndex say; -1 when
// the put fails.
int32_t enter(QuolanObject *store, uint64_t own_slots, const void *key, int32_t kind, int32_t free_position,
              int32_t *created, size_t text_length)
{
    const int32_t target = free_position >= 0 ? free_position : -2;
    int32_t position = -1;
    if ((own_slots & kEnterSlots) == kEnterSlots) {
        position = enter_plain(store, key, kind, target, text_length);
        if (position < 0) return -1;
    } else {
        const ArrayMethods *m = array_of(store);
        if (m->PutAt(store, const_cast<void *>(key), kind, target) != StatusOk) return -1;
        if (m->GetIndex(store, &position) != StatusOk) return -1;
    }
    if (created) *created = 1;
    return position;
}

int32_t enter_datum(ArrayInstance *a, Element e, int32_t target, int32_t *created)
{
    const int32_t position = put_datum_entry(a, e, target);
    if (position >= 0 && created) *created = 1;
    return position;
}

}  // namespace search

int32_t clear_in_store(QuolanObject *store, int32_t position)
{
    QC_CHECK_STORAGE_ON_RETURN(store);
    Element taken;
    if (keeps_array_slots(store, search::kIndexSlots) && index_clear(as_array(store), position, &taken)) {
        release(taken);
        return StatusOk;
    }
    return array_of(store)->ClearAt(store, position);
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

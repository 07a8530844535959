// Dict: an Array whose positions are also reached by key.
//
// The key of position i sits at position i of the key store, a private plain
// Array created on first use (even by a pure lookup) and deleted by Clear;
// the value stays at position i of the dictionary's own storage.  A Null key
// is a free position: a removed key, or a position whose value was put by
// position only.  Keys never move, so a key's position is its symbol for as
// long as the key exists.  The key store owns what its element rules say it
// owns: its own copy of an OwnedString key, OwnedObject and OwnedPointer keys.
//
// Keys are found with the shared linear search (key_search.h); a new key
// takes the last free position, else it is appended.  Values are put, read
// and cleared through the dictionary's own table, so the overrides of the
// typed and deferred dictionaries apply to keyed access as well (a keyed put
// or read calls Array's own PutAt or GetAt directly when the class record
// says that is what the table holds); Array's behaviour is reached through
// the Array class's table.
//
// Cursors: every keyed operation walks the key store and so moves its
// cursor; a keyed read, put or clear then goes through the dictionary's own
// GetAt, PutAt or ClearAt, which select the key's position and so move the
// dictionary's cursor too.  The keyed walk (Next, Previous) moves both.
//
// May touch: the key store, and the dictionary's positions through its own
// table or Array's.
#include "dict/dict.h"

#include "mechanisms/key_search.h"

extern "C" {
QUOLAN_EXPORT QuolanObject *dict_baseclass = nullptr;
}

namespace qc {

QuolanObject *key_store_of(QuolanObject *dict) { return ensure_store(&as_dict(dict)->key_store); }

int32_t find_key(QuolanObject *dict, const void *key, int32_t kind, bool create, int32_t *created)
{
    if (created) *created = 0;
    QuolanObject *store = key_store_of(dict);
    if (!store) return -1;
    return find_in_store<FreePosition::Last>(store, key, kind, create, created);
}

int32_t Dict::Init(QuolanObject *self)
{
    int32_t status = base_of(array_baseclass)->Init(self);
    if (status == StatusOk) as_dict(self)->key_store = nullptr;
    return status;
}

void Dict::Clear(QuolanObject *self)
{
    // The keys go first: Array's Clear walks with our own Next, which visits
    // every position once there is no key store to consult, and so walks as
    // Array's Next does.  An owned object's Delete may put a key back; the
    // clearing goes on until both stores are empty.
    DictInstance *d = as_dict(self);
    do {
        drop_store(&d->key_store);
        clear_elements(self, keeps_array_slots(self, kClearSlots));
    } while (d->key_store);
}

int32_t Dict::StringSymbolIndex(QuolanObject *self, const char *key)
{
    return find_key(self, key, String, false, nullptr);
}

int32_t Dict::SymbolIndex(QuolanObject *self, void *key, int32_t kind)
{
    return find_key(self, key, kind, false, nullptr);
}

const char *Dict::GetStringSymbol(QuolanObject *self, int32_t position)
{
    return store_text_at(&as_dict(self)->key_store, position);
}

int32_t Dict::GetSymbol(QuolanObject *self, void **key, int32_t *kind, int32_t position)
{
    return store_entry_at(&as_dict(self)->key_store, key, kind, position);
}

// ---- keyed element operations ------------------------------------------------

int32_t Dict::PutKey(QuolanObject *self, void *value, int32_t kind, void *key, int32_t key_kind)
{
    QuolanObject *store = key_store_of(self);
    if (!store) return StatusNoMemory;
    if (lacks_referent(key, key_kind)) return StatusBadType;
    int32_t created = 0;
    int32_t position = find_in_store<FreePosition::Last>(store, key, key_kind, true, &created);
    if (position < 0) return StatusNoMemory;

    const DictMethods *m = dict_of(self);
    int32_t status = put_at(self, value, kind, position);
    if (status != StatusOk && created) {
        // Withdraw the key this call entered, so a refused value leaves no
        // key behind; a key that existed before keeps its position.
        m->ClearAt(self, position);
        clear_in_store(store, position);
    }
    return status;
}

int32_t Dict::PutStringKey(QuolanObject *self, void *value, int32_t kind, const char *key)
{
    // The object's own PutKey: the dictionary's, without the call through
    // its table, when the table is the dictionary's own.
    if (is_exactly(self, ClassId::Dict)) return Dict::PutKey(self, value, kind, const_cast<char *>(key), OwnedString);
    return dict_of(self)->PutKey(self, value, kind, const_cast<char *>(key), OwnedString);
}

int32_t Dict::PutIntStringKey(QuolanObject *self, int32_t value, const char *key)
{
    return Dict::PutStringKey(self, &value, Integer, key);
}

int32_t Dict::PutDoubleStringKey(QuolanObject *self, double value, const char *key)
{
    return Dict::PutStringKey(self, &value, Double, key);
}

// The lookup shared by GetKey and GetStringKey; an absent key answers StatusOutOfRange
// with an empty value.
static int32_t get_by_key(QuolanObject *self, void **value, int32_t *kind, const void *key,
                          int32_t key_kind)
{
    QuolanObject *store = key_store_of(self);
    if (!store) return StatusNoMemory;
    int32_t position = find_in_store<FreePosition::Last>(store, key, key_kind, false, nullptr);
    if (position < 0) {
        if (value) *value = nullptr;
        if (kind) *kind = Null;
        return StatusOutOfRange;
    }
    // Through the table, or Array's GetAt directly when the class record
    // says the table holds it.
    if (keeps_array_slots(self, slot_bit(ArraySlot_GetAt))) return Array::GetAt(self, value, kind, position);
    return dict_of(self)->GetAt(self, value, kind, position);
}

int32_t Dict::GetKey(QuolanObject *self, void **value, int32_t *kind, void *key, int32_t key_kind)
{
    return get_by_key(self, value, kind, key, key_kind);
}

int32_t Dict::GetStringKey(QuolanObject *self, void **value, int32_t *kind, const char *key)
{
    return get_by_key(self, value, kind, key, String);
}

int32_t Dict::ClearKey(QuolanObject *self, void *key, int32_t key_kind)
{
    QuolanObject *store = key_store_of(self);
    if (!store) return StatusNoMemory;
    int32_t position = find_key(self, key, key_kind, false, nullptr);
    if (position < 0) return StatusOutOfRange;
    int32_t status = dict_of(self)->ClearAt(self, position);
    if (status != StatusOk) return status;  // the value stays, so the key does too
    return clear_in_store(store, position);
}

// ---- keyed walk ----------------------------------------------------------------

// The position Array's step is about to deliver.  Outside the element range
// the cursor and that position differ: Next from -1 delivers position 0,
// Previous from used_count delivers the last position.  The key test looks
// at the delivered position, so both walks start from either end on a
// dictionary exactly as on an array.
template <bool Forward>
static int32_t delivered_position(ArrayInstance *a)
{
    const int32_t cursor = storage::cursor(a);
    if (Forward) return cursor == -1 ? 0 : cursor;
    const int32_t used = storage::used(a);
    return cursor == used && used > 0 ? used - 1 : cursor;
}

// Steps with Array's Next (Previous) until it delivers a position that has
// a key, passing over keyless ones; ends with the status that ends the step
// or the key read (StatusOutOfRange at either end).
template <bool Forward>
static int32_t keyed_step(QuolanObject *self, void **value, int32_t *tag)
{
    const ArrayMethods *array = array_of(array_baseclass);
    auto step = Forward ? array->Next : array->Previous;
    DictInstance *d = as_dict(self);
    if (!d->key_store) return step(self, value, tag);

    int32_t status = storage::ensure_tables(&d->array);
    if (status != StatusOk) return status;
    for (;;) {
        QuolanObject *store = d->key_store;
        int32_t key_kind = Null;
        status = array_of(store)->GetAt(store, nullptr, &key_kind, delivered_position<Forward>(&d->array));
        if (status != StatusOk) return status;
        status = step(self, value, tag);
        if (status != StatusOk) return status;
        if (key_kind != Null) return StatusOk;
    }
}

int32_t Dict::Next(QuolanObject *self, void **value, int32_t *tag)
{
    return keyed_step<true>(self, value, tag);
}

int32_t Dict::Previous(QuolanObject *self, void **value, int32_t *tag)
{
    return keyed_step<false>(self, value, tag);
}

// ---- class -------------------------------------------------------------------

static const MethodKeyword kDictKeywords[] = {QUOLAN_DICT_METHOD_LIST(QC_KEYWORD_ROW, _) QC_KEYWORD_END};

constinit const ClassDescriptor kDictClass = describe_class<Dict, DictMethods, DictInstance>(
    ClassId::Dict, "Dict", &dict_baseclass, dict_baseclass_init,
    /* parent */ kArrayClass, kArrayFamilyVersion, kDictKeywords, /* array layout */ true);

}  // namespace qc

extern "C" QUOLAN_EXPORT QuolanObject *dict_baseclass_init(void)
{
    return qc::create_class(qc::kDictClass);
}

// Dict Save, Load and Copy.
//
// On a stream a dictionary is two array records, keys first:
//
//   key store   the key store's own array record (count, tagged entries)
//   values      Array's record of the dictionary's own positions
//
// and nothing else: no class identity, version or key count of its own.
// Positions travel as they are, free ones as Null entries, so the value at
// stream position i belongs to the key at stream position i and a reload
// into a fresh dictionary keeps every key at its position and every free
// hole between keys free.  Hostile bytes are Array's business: both passes
// are Array's Load, which checks every count, length and tag.
//
// A copy is Array's copy of the values turned into a plain Dict, plus
// Array's copy of the key store; the copy owns both.
//
// May touch: the key store and the dictionary's positions, through Array's
// Save, Load and Copy.
#include "dict/dict.h"

namespace qc {

int32_t Dict::Save(QuolanObject *self, QuolanObject *stream, int32_t mode)
{
    QuolanObject *store = key_store_of(self);
    if (!store) return StatusFailedFlag;
    int32_t status = base_of(store)->Save(store, stream, mode);
    if (status != StatusOk) return status;
    // Every position is written, keyed or not: the keyed walk plays no part.
    return base_of(array_baseclass)->Save(self, stream, mode);
}

int32_t Dict::Load(QuolanObject *self, QuolanObject *stream, int32_t mode)
{
    QuolanObject *store = key_store_of(self);
    if (!store) return StatusFailedFlag;
    int32_t status = base_of(store)->Load(store, stream, mode);
    if (status != StatusOk) return status;
    return base_of(array_baseclass)->Load(self, stream, mode);
}

QuolanObject *Dict::Copy(QuolanObject *, QuolanObject *source)
{
    QuolanObject *array_class = array_baseclass;
    QuolanObject *dict_class = dict_baseclass;
    // A source too small to be a dictionary would give a copy whose key
    // store field lies outside it: refused.
    if (!source || source->size < sizeof(DictInstance) || !array_class || !dict_class)
        return nullptr;
    QuolanObject *copy = base_of(array_class)->Copy(dict_class, source);
    if (!copy) return nullptr;
    // Whatever subclass the source is, the copy is a plain Dict.
    copy->class_word = dict_class->class_word;
    copy->methods = dict_class->methods;

    if (QuolanObject *keys = as_dict(source)->key_store) {
        QuolanObject *key_copy = base_of(array_class)->Copy(array_class, keys);
        if (!key_copy) {
            base_of(copy)->Delete(copy);
            return nullptr;
        }
        as_dict(copy)->key_store = key_copy;
    }
    return copy;
}

}  // namespace qc

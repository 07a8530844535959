// DictDefer: a Dict whose values may be produced on first read by a loader.
//
// The positional behaviour is the deferred mechanism (mechanisms/deferred.h) over Dict's
// layout: the position a dictionary key occupies is the position of its
// loader key in the deferred store.  Dict's keyed operations find a key's
// position and then read, write or clear it through the object's own table,
// so reading a deferred key loads it, and writing or clearing a key drops its
// loader key, without anything keyed here.  This file adds only the keyed
// front ends that record and inspect loader keys.
//
// May touch: DictDefer's own class table; keys through the object's own
// PutKey and SymbolIndex.
#include "dict/dict_defer.h"

extern "C" {
QUOLAN_EXPORT QuolanObject *dict_deferclass = nullptr;
}

namespace qc {

namespace {

struct DictDefer : Deferred<DictInstance, &dict_baseclass>, ClassFramework<kDictDeferClass> {
    // Puts a Null under the dictionary key through the object's own PutKey
    // (adding the key, or dropping its earlier loader key and releasing its
    // value), then records the loader key at the key's position.
    static int32_t PutDeferredKey(QuolanObject *self, void *loader_key, int32_t loader_key_tag,
                                  void *key, int32_t key_tag)
    {
        return record_key(self, loader_key, loader_key_tag, [&] {
            return dict_of(self)->PutKey(self, nullptr, Null, key, key_tag);
        });
    }

    // The dictionary keeps its own copy of the key text, as PutStringKey does.
    static int32_t PutDeferredStringKey(QuolanObject *self, void *loader_key,
                                        int32_t loader_key_tag, const char *key)
    {
        return quolan_dict_defer_methods(self)->PutDeferredKey(
            self, loader_key, loader_key_tag, const_cast<char *>(key), OwnedString);
    }

    // StatusOutOfRange for a key the dictionary does not hold (checked first,
    // so an absent key answers it even after Clear), StatusFailed without a
    // store.
    static int32_t GetDeferredKey(QuolanObject *self, void **value, int32_t *tag, void *key,
                                  int32_t key_tag)
    {
        int32_t position = dict_of(self)->SymbolIndex(self, key, key_tag);
        if (position < 0) return StatusOutOfRange;
        return read_key(self, value, tag, position);
    }

    static int32_t GetDeferredStringKey(QuolanObject *self, void **value, int32_t *tag,
                                        const char *key)
    {
        return quolan_dict_defer_methods(self)->GetDeferredKey(self, value, tag,
                                                               const_cast<char *>(key), OwnedString);
    }
};

const MethodKeyword kDictDeferKeywords[] = {QUOLAN_DICT_DEFER_METHOD_LIST(QC_KEYWORD_ROW, _) QC_KEYWORD_END};

}  // namespace

constinit const ClassDescriptor kDictDeferClass = describe_class<DictDefer, DictDeferMethods, DictDeferInstance>(
    ClassId::DictDefer, "DictDefer", &dict_deferclass, dict_deferclass_init,
    /* parent */ kDictClass, kDictFamilyVersion, kDictDeferKeywords, /* array layout */ true);

}  // namespace qc

extern "C" QUOLAN_EXPORT QuolanObject *dict_deferclass_init(void)
{
    return qc::create_class(qc::kDictDeferClass);
}

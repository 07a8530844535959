// DictTyped: a Dict whose positions carry type lists (see
// mechanisms/typed.h for the mechanism it shares with ArrayTyped).
//
// What is particular to the dictionary: type lists are reached by key, the
// key turned into its position with the object's own SymbolIndex (which
// never creates a key, so an absent key answers StatusOutOfRange); a binding made by a put
// is recorded through the position's key (own GetSymbol, then own
// SetKeyType); and objects are named by family ("Object-Array",
// "Object-Dict", "Object-QUOLAN").
//
// May touch: DictTyped's own class table; keys through the object's own
// SymbolIndex, GetSymbol and SetKeyType.
#include "dict/dict_typed.h"

extern "C" {
QUOLAN_EXPORT QuolanObject *dict_typedclass = nullptr;
}

namespace qc {

namespace {

struct DictTypedPolicy {
    using Instance = DictTypedInstance;
    static constexpr TypeNameForm kNaming = TypeNameForm::Family;
    static constexpr const ClassDescriptor &kClass = kDictTypedClass;

    // A position whose key store entry is Null has no key to record the
    // binding through (a value put by position only, or a free position).
    // Looking the position up again by a Null key would find some other free
    // position, so nothing is recorded: the value is then checked against
    // its own type name, which admits it, and the position stays untyped.
    static int32_t bind(QuolanObject *self, const char *name, int32_t index)
    {
        void *key = nullptr;
        int32_t kind = Null;
        int32_t status = dict_of(self)->GetSymbol(self, &key, &kind, index);
        if (status != StatusOk) return status;
        if (kind == Null) return StatusOk;
        return quolan_dict_typed_methods(self)->SetKeyType(self, name, key, kind);
    }
};

// The locator of the key-type methods: the key's position, or
// StatusOutOfRange.
auto key_position(QuolanObject *self, void *key, int32_t kind)
{
    return [=](int32_t *position) {
        *position = dict_of(self)->SymbolIndex(self, key, kind);
        return *position < 0 ? int32_t{StatusOutOfRange} : int32_t{StatusOk};
    };
}

void *text_key(const char *key) { return const_cast<char *>(key); }

struct DictTyped : TypedContainer<DictTypedPolicy>, ClassFramework<kDictTypedClass> {
    static int32_t SetKeyType(QuolanObject *self, const char *types, void *key, int32_t key_tag)
    {
        return record_type(self, types, key_position(self, key, key_tag));
    }
    static int32_t SetStringKeyType(QuolanObject *self, const char *types, const char *key)
    {
        return record_type(self, types, key_position(self, text_key(key), String));
    }
    static int32_t CheckKeyType(QuolanObject *self, void *value, int32_t tag, void *key, int32_t key_tag)
    {
        return check_type(self, value, tag, key_position(self, key, key_tag));
    }
    static int32_t CheckStringKeyType(QuolanObject *self, void *value, int32_t tag, const char *key)
    {
        return check_type(self, value, tag, key_position(self, text_key(key), String));
    }
};

const MethodKeyword kDictTypedKeywords[] = {QUOLAN_DICT_TYPED_METHOD_LIST(QC_KEYWORD_ROW, _) QC_KEYWORD_END};

}  // namespace

constinit const ClassDescriptor kDictTypedClass = describe_class<DictTyped, DictTypedMethods, DictTypedInstance>(
    ClassId::DictTyped, "DictTyped", &dict_typedclass, dict_typedclass_init,
    /* parent */ kDictClass, kDictFamilyVersion, kDictTypedKeywords, /* array layout */ true);

}  // namespace qc

extern "C" QUOLAN_EXPORT QuolanObject *dict_typedclass_init(void)
{
    return qc::create_class(qc::kDictTypedClass);
}

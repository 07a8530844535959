// ArrayTyped: an Array whose positions carry type lists (see
// mechanisms/typed.h).
//
// What is particular to the array: type lists are reached by position
// (SetSlotType, CheckSlotType), a binding is recorded through the object's
// own SetSlotType at the index the put was given, and objects are named by
// their exact class ("Object-ArrayTyped").
//
// May touch: ArrayTyped's own class table; bindings go through the object's
// own SetSlotType.
#include "array_variants/array_typed.h"

extern "C" {
QUOLAN_EXPORT QuolanObject *array_typedclass = nullptr;
}

namespace qc {

namespace {

struct ArrayTypedPolicy {
    using Instance = ArrayTypedInstance;
    static constexpr TypeNameForm kNaming = TypeNameForm::ExactClass;
    static constexpr const ClassDescriptor &kClass = kArrayTypedClass;

    static int32_t bind(QuolanObject *self, const char *name, int32_t index)
    {
        return quolan_array_typed_methods(self)->SetSlotType(self, name, index);
    }
};

struct ArrayTyped : TypedContainer<ArrayTypedPolicy>, ClassFramework<kArrayTypedClass> {
    static int32_t SetSlotType(QuolanObject *self, const char *types, int32_t index)
    {
        return record_type(self, types, [index](int32_t *position) {
            *position = index;
            return int32_t{StatusOk};
        });
    }

    static int32_t CheckSlotType(QuolanObject *self, void *value, int32_t tag, int32_t index)
    {
        return check(self, value, tag, index);
    }
};

const MethodKeyword kArrayTypedKeywords[] = {QUOLAN_ARRAY_TYPED_METHOD_LIST(QC_KEYWORD_ROW, _) QC_KEYWORD_END};

}  // namespace

constinit const ClassDescriptor kArrayTypedClass = describe_class<ArrayTyped, ArrayTypedMethods, ArrayTypedInstance>(
    ClassId::ArrayTyped, "ArrayTyped", &array_typedclass, array_typedclass_init,
    /* parent */ kArrayClass, kArrayFamilyVersion, kArrayTypedKeywords, /* array layout */ true);

}  // namespace qc

extern "C" QUOLAN_EXPORT QuolanObject *array_typedclass_init(void)
{
    return qc::create_class(qc::kArrayTypedClass);
}

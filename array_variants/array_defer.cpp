// ArrayDefer: an Array whose values may be produced on first read by a loader.
//
// The whole behaviour is the deferred mechanism (mechanisms/deferred.h) over
// Array's layout; this file is the class: its descriptor and table.
//
// May touch: ArrayDefer's own class table.
#include "array_variants/array_defer.h"

extern "C" {
QUOLAN_EXPORT QuolanObject *array_deferclass = nullptr;
}

namespace qc {

namespace {

struct ArrayDefer : Deferred<ArrayInstance, &array_baseclass>, ClassFramework<kArrayDeferClass> {};

const MethodKeyword kArrayDeferKeywords[] = {QUOLAN_ARRAY_DEFER_METHOD_LIST(QC_KEYWORD_ROW, _) QC_KEYWORD_END};

}  // namespace

const ClassDescriptor kArrayDeferClass = {
    .id = ClassId::ArrayDefer,
    .name = "ArrayDefer",
    .class_pointer = &array_deferclass,
    .init = array_deferclass_init,
    .parent = &kArrayClass,
    .version = kArrayFamilyVersion,
    .instance_size = sizeof(ArrayDeferInstance),
    .slot_count = ArrayDeferSlot_Count,
    .keywords = kArrayDeferKeywords,
    .fill = fill_slots<ArrayDefer, ArrayDeferMethods>,
    .array_layout = true,
    .filled_array_slots = filled_array_slots<ArrayDefer>(),
};

}  // namespace qc

extern "C" QUOLAN_EXPORT QuolanObject *array_deferclass_init(void)
{
    return qc::create_class(qc::kArrayDeferClass);
}

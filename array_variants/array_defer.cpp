// ArrayDefer: an Array whose values may be produced on first read by a loader.
//
// The whole behaviour is the deferred mechanism (deferred.h) over Array's
// layout; this file is the class: its layout, descriptor and table.
//
//   @64 loader          borrowed; NULL until SetLoader
//   @72 deferred_store  owned plain Array; made by Init, deleted by Clear
//
// May touch: ArrayDefer's own class table.
#include "array_variants/deferred.h"

extern "C" {
QUOLAN_EXPORT QuolanObject *array_deferclass = nullptr;
}

namespace qc {

namespace {

using ArrayDefer = Deferred<ArrayInstance, &array_baseclass>;
using Instance = ArrayDefer::Instance;
static_assert(offsetof(Instance, loader) == 64);
static_assert(offsetof(Instance, deferred_store) == 72);
static_assert(sizeof(Instance) == 80);

const MethodKeyword kArrayDeferKeywords[] = {
    QUOLAN_ARRAY_DEFER_METHOD_LIST(QC_KEYWORD_ROW, _) QC_KEYWORD_END};

void fill_array_defer(QuolanObject *cls);

const ClassDescriptor kArrayDeferClass = {
    .id = ClassId::ArrayDefer,
    .name = "ArrayDefer",
    .class_pointer = &array_deferclass,
    .parent_pointer = &array_baseclass,
    .parent_init = array_baseclass_init,
    .parent_name = "Array",
    .parent_version = kArrayVersion,
    .version = kArrayFamilyVersion,
    .instance_size = sizeof(Instance),
    .slot_count = ArrayDeferSlot_Count,
    .keywords = kArrayDeferKeywords,
    .fill = fill_array_defer,
    .record = kVariantRecord,
};

void fill_array_defer(QuolanObject *cls)
{
    auto *t = writable_table<ArrayDeferMethods>(cls);
    ArrayDefer::install(t);
    ClassFramework<kArrayDeferClass>::install(t);
    QUOLAN_ARRAY_DEFER_METHOD_LIST(QC_FILL_SCOPE, ArrayDefer)
}

}  // namespace

}  // namespace qc

extern "C" QUOLAN_EXPORT QuolanObject *array_deferclass_init(void)
{
    return qc::create_class(qc::kArrayDeferClass);
}

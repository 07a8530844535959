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

constinit const ClassDescriptor kArrayDeferClass = describe_class<ArrayDefer, ArrayDeferMethods, ArrayDeferInstance>(
    ClassId::ArrayDefer, "ArrayDefer", &array_deferclass, array_deferclass_init,
    /* parent */ kArrayClass, kArrayFamilyVersion, kArrayDeferKeywords, /* array layout */ true);

}  // namespace qc

extern "C" QUOLAN_EXPORT QuolanObject *array_deferclass_init(void)
{
    return qc::create_class(qc::kArrayDeferClass);
}

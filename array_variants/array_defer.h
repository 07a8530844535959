// ArrayDefer's layout: Array's fields, then those of the deferred mechanism.
//
//   @64 loader          borrowed; NULL until SetLoader
//   @72 deferred_store  owned plain Array; made by Init, deleted by Clear
//
// May touch: nothing; the layout only.
#pragma once

#include <cstddef>

#include "mechanisms/deferred.h"

namespace qc {

using ArrayDeferInstance = DeferredLayout<ArrayInstance>;
static_assert(offsetof(ArrayDeferInstance, loader) == 64);
static_assert(offsetof(ArrayDeferInstance, deferred_store) == 72);
static_assert(sizeof(ArrayDeferInstance) == 80);

extern const ClassDescriptor kArrayDeferClass;

}  // namespace qc

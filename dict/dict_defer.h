// DictDefer's layout: Dict's fields, then those of the deferred mechanism.
//
//   @72 loader          borrowed; NULL until SetLoader
//   @80 deferred_store  owned plain Array; made by Init, deleted by Clear
//
// May touch: nothing; the layout only.
#pragma once

#include <cstddef>

#include "dict/dict.h"
#include "mechanisms/deferred.h"

namespace qc {

using DictDeferInstance = DeferredLayout<DictInstance>;
static_assert(offsetof(DictDeferInstance, loader) == 72);
static_assert(offsetof(DictDeferInstance, deferred_store) == 80);
static_assert(sizeof(DictDeferInstance) == 88);

extern const ClassDescriptor kDictDeferClass;

}  // namespace qc

// DictTyped's layout: Dict's fields, then those of the typed mechanism.
//
// May touch: nothing; the layout only.
#pragma once

#include <cstddef>

#include "mechanisms/typed.h"
#include "dict/dict.h"

namespace qc {

using DictTypedInstance = TypedLayout<DictInstance>;
static_assert(offsetof(DictTypedInstance, typed.type_store) == 72);
static_assert(offsetof(DictTypedInstance, typed.lock) == 80 && offsetof(DictTypedInstance, typed.access) == 84);
static_assert(sizeof(DictTypedInstance) == 88);

extern const ClassDescriptor kDictTypedClass;

}  // namespace qc

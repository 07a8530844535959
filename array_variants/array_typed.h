// ArrayTyped's layout, for the printers that show its lock.
//
// May touch: nothing; the layout only.
#pragma once

#include <cstddef>

#include "mechanisms/typed.h"

namespace qc {

using ArrayTypedInstance = TypedLayout<ArrayInstance>;
static_assert(offsetof(ArrayTypedInstance, typed.type_store) == 64);
static_assert(offsetof(ArrayTypedInstance, typed.lock) == 72 && offsetof(ArrayTypedInstance, typed.access) == 76);
static_assert(sizeof(ArrayTypedInstance) == 80);

extern const ClassDescriptor kArrayTypedClass;

}  // namespace qc

// GenSet internals: the instance layout, for code that looks inside a set.
//
// A GenSet derives from the root class, not from Array.  Its members live in
// a private plain Array, the member store, one member per position; a Null
// entry is a free position.  The store is created on first use and deleted
// by Clear.
//
// May touch: nothing; the layout only.
#pragma once

#include <cstddef>

#include "framework/class_registry.h"

namespace qc {

struct GenSetInstance {
    QuolanObject header;
    QuolanObject *member_store;  // owned plain Array; NULL until first needed
};
static_assert(offsetof(GenSetInstance, member_store) == 24);
static_assert(sizeof(GenSetInstance) == 32);

inline GenSetInstance *as_genset(QuolanObject *o) { return reinterpret_cast<GenSetInstance *>(o); }

extern const ClassDescriptor kGenSetClass;

}  // namespace qc

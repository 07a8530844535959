#pragma once

#include "quolan/containers.h"

namespace qctool {

// A realistic nested document: a dictionary holding texts, numbers and a
// boolean, arrays (one of dictionaries), a typed dictionary with type lists,
// a set, and an entry that a deferred dictionary produced through a loader.
// NULL when a class is missing.  The caller deletes it.
QuolanObject *build_demo_document();

}  // namespace qctool

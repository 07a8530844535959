// The text qctool dump and demo print: the layout of the library's debug
// printers (debug_print_array, debug_print_dict), and in addition the
// members of every set, which those printers show as a class name alone.
#pragma once

#include <cstdint>
#include <cstdio>

#include "quolan/containers.h"

namespace qctool {

// Prints any container of the library, nested ones included; answers the
// first error status met (0 when every entry printed).
int32_t print_container(QuolanObject *object, FILE *out);

}  // namespace qctool

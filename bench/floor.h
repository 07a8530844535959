// The "floor" contenders' array and method table (see floor.cpp).
#pragma once

#include <cstdint>

#include "quolan/containers.h"

namespace qb {

struct FloorArray {
    Element *elements = nullptr;
    int32_t used = 0;
    int32_t capacity = 0;
    int32_t cursor = 0;
    int32_t current = 0;
};

struct FloorMethods {
    int32_t (*append)(FloorArray *a, int32_t value);
    int32_t (*get)(FloorArray *a, void **value, int32_t *tag, int32_t index);
    int32_t (*next)(FloorArray *a, void **value, int32_t *tag);
};

extern const FloorMethods *volatile floor_methods;

void floor_free(FloorArray *a);

}  // namespace qb

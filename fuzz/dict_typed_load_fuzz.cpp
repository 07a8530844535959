// Loads arbitrary bytes into a DictTyped (see typed_load_fuzz.h).
#include "typed_load_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return typed_fuzz::run(dict_typedclass_init(), data, size);
}

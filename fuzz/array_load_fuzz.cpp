// Loads arbitrary bytes into an Array.  Whatever the bytes, Load must answer
// a status without reading past a buffer, leaking or crashing; and what it
// did load must save, load back and compare equal.
#include <cstddef>
#include <cstdint>

#include "quolan/containers.h"
#include "quolan/stream.h"

namespace {

void drop(QuolanObject *o)
{
    if (o) quolan_base_methods(o)->Delete(o);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QuolanObject *cls = array_baseclass_init();
    QuolanObject *in = quolan_memory_stream_from(data, size);
    QuolanObject *a = quolan_base_methods(cls)->New(cls);
    if (quolan_base_methods(a)->Load(a, in, 0) == 0) {
        QuolanObject *out = quolan_memory_stream_new();
        if (quolan_base_methods(a)->Save(a, out, 0) == 0) {
            size_t n = 0;
            const unsigned char *bytes = quolan_memory_stream_data(out, &n);
            QuolanObject *again = quolan_memory_stream_from(bytes, n);
            QuolanObject *b = quolan_base_methods(cls)->New(cls);
            if (quolan_base_methods(b)->Load(b, again, 0) != 0) __builtin_trap();
            if (!quolan_base_methods(a)->IsEqual(a, b)) __builtin_trap();
            drop(b);
            drop(again);
        }
        drop(out);
        drop(quolan_base_methods(a)->Copy(cls, a));
    }
    drop(a);
    drop(in);
    return 0;
}

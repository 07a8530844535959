// Loads arbitrary bytes into a Dict.  Whatever the bytes, Load must answer a
// status without reading past a buffer, leaking or crashing.  A dictionary
// that did load is saved, and its record must load into a fresh dictionary
// and save back to the very same bytes; then it is searched, walked both
// ways and copied.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "quolan/containers.h"
#include "quolan/stream.h"
#include "round_trip.h"

namespace {

using fuzz::drop;

// Every text key read back by position must be found again, at that
// position or at an earlier one holding the same text (a stream may repeat
// a key); then the keyed walk runs both ways.
void check_symbols(QuolanObject *d)
{
    const DictMethods *m = quolan_dict_methods(d);
    int32_t size = m->GetSizes(d, nullptr, nullptr);
    for (int32_t p = 0; p < size; ++p) {
        const char *text = m->GetStringSymbol(d, p);
        if (!text) continue;
        int32_t found = m->StringSymbolIndex(d, text);
        if (found < 0 || found > p) __builtin_trap();
    }
    void *v;
    int32_t tag;
    m->SetIndex(d, 0);
    while (m->Next(d, &v, &tag) == 0) {}
    while (m->Previous(d, &v, &tag) == 0) {}
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QuolanObject *cls = dict_baseclass_init();
    genset_baseclass_init();  // so nested sets can be reanimated
    QuolanObject *in = quolan_memory_stream_from(data, size);
    QuolanObject *d = quolan_base_methods(cls)->New(cls);
    if (quolan_base_methods(d)->Load(d, in, 0) == 0) {
        fuzz::check_reload_saves_same(cls, d);
        check_symbols(d);
        drop(quolan_base_methods(d)->Copy(cls, d));
    }
    drop(d);
    drop(in);
    return 0;
}

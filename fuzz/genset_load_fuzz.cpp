// Loads arbitrary bytes into a GenSet.  Whatever the bytes, Load must answer
// a status without reading past a buffer, leaking or crashing.  A set that
// did load is saved, and its record must load into a fresh set and save
// back to the very same bytes; then it is searched member by member.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "quolan/containers.h"
#include "quolan/stream.h"
#include "round_trip.h"

namespace {

using fuzz::drop;

// A text or integer member read back by position is found again, at that
// position or at an earlier equal one (a stream may repeat a member).
void check_members(QuolanObject *s)
{
    const GenSetMethods *m = quolan_genset_methods(s);
    for (int32_t p = 0;; ++p) {
        void *value = nullptr;
        int32_t kind = Null;
        if (m->GetValue(s, &value, &kind, p) != 0 || p > 4096) break;
        if (kind != Integer && kind != OwnedString) continue;
        int32_t found = m->GetIndex(s, value, kind);
        if (found < 0 || found > p) __builtin_trap();
        if (!m->Contains(s, value, kind)) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QuolanObject *cls = genset_baseclass_init();
    dict_baseclass_init();  // so nested dictionaries can be reanimated
    QuolanObject *in = quolan_memory_stream_from(data, size);
    QuolanObject *s = quolan_base_methods(cls)->New(cls);
    if (quolan_base_methods(s)->Load(s, in, 0) == 0) {
        fuzz::check_reload_saves_same(cls, s);
        check_members(s);
    }
    drop(s);
    drop(in);
    return 0;
}

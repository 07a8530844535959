// Loads arbitrary bytes into a container of the class the first byte picks.
// Whatever the bytes, Load must answer a status without reading past a
// buffer, leaking or crashing.  What did load must save, reload and save the
// very same bytes again; then it is searched, walked, copied and put into.
#include <cstring>
#include <string>

#include "quolan/containers.h"
#include "quolan/stream.h"

namespace {

void drop(QuolanObject *o) { if (o) quolan_base_methods(o)->Delete(o); }
std::string record(QuolanObject *o)  // which `o` must save
{
    QuolanObject *out = quolan_memory_stream_new();
    size_t n = 0;
    if (quolan_base_methods(o)->Save(o, out, 0) != 0) __builtin_trap();
    std::string bytes(reinterpret_cast<const char *>(quolan_memory_stream_data(out, &n)), n);
    drop(out);
    return bytes;
}

// A key or member read back by position is found again, there or at an
// earlier equal one (a record may repeat it); a dictionary is walked both ways.
void check_lookups(QuolanObject *o, bool set)
{
    const DictMethods *d = quolan_dict_methods(o);
    const GenSetMethods *g = quolan_genset_methods(o);
    void *v = nullptr;
    int32_t kind = Null;
    for (int32_t p = 0; p < 4096; ++p) {
        if (set ? g->GetValue(o, &v, &kind, p) != 0 : p >= d->GetSizes(o, nullptr, nullptr)) break;
        if (!set) v = const_cast<char *>(d->GetStringSymbol(o, p)), kind = v ? OwnedString : Null;
        if (kind != Integer && kind != OwnedString) continue;
        int32_t found = !set ? d->StringSymbolIndex(o, static_cast<char *>(v))
                        : g->Contains(o, v, kind) ? g->GetIndex(o, v, kind) : -1;
        if (found < 0 || found > p) __builtin_trap();
    }
    if (set) return;
    d->SetIndex(o, 0);
    while (d->Next(o, &v, &kind) == 0) {}
    while (d->Previous(o, &v, &kind) == 0) {}
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Every class a record may nest exists before anything loads.
    static QuolanObject *const kClasses[] = {array_baseclass_init(), array_typedclass_init(), dict_baseclass_init(),
                                             dict_typedclass_init(), genset_baseclass_init()};
    if (size-- == 0) return 0;
    QuolanObject *cls = kClasses[*data++ % 5];
    QuolanObject *in = quolan_memory_stream_from(data, size), *o = quolan_base_methods(cls)->New(cls);
    if (quolan_base_methods(o)->Load(o, in, 0) == 0) {
        // Before any read, which may add a Null position no reload brings back.
        // A typed dictionary's record may repeat a key, whose second binding
        // retypes a value already admitted: a reload may convert or refuse it.
        const std::string bytes = record(o);
        QuolanObject *again = quolan_memory_stream_from(bytes.data(), bytes.size());
        QuolanObject *fresh = quolan_base_methods(cls)->New(cls);
        const bool same = quolan_base_methods(fresh)->Load(fresh, again, 0) == 0 && record(fresh) == bytes;
        if (!same && cls != dict_typedclass && !memmem(data, size, "Typed", 5)) __builtin_trap();
        drop(fresh);
        drop(again);
        if (cls != array_baseclass && cls != array_typedclass) check_lookups(o, cls == genset_baseclass);
        if (cls != genset_baseclass) {
            drop(quolan_base_methods(o)->Copy(cls, o));
            const ArrayMethods *m = quolan_array_methods(o);  // refusals are fine, crashes and leaks are not
            m->PutIntAt(o, 1, 0);
            m->PutDoubleAt(o, 2.5, 1);
            m->PutStringCopyAt(o, "text", -2);
            m->PutAt(o, nullptr, Null, 0);
            m->ClearAt(o, 1);
        }
    }
    drop(o);
    drop(in);
    return 0;
}

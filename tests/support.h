// Shared helpers for the behaviour suites: owning handles, typed method
// tables, client classes, reads and stream records.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "quolan/containers.h"
#include "quolan/stream.h"
#include "quolan/testing.h"

namespace qt {

struct Deleter {
    void operator()(QuolanObject *o) const { quolan_base_methods(o)->Delete(o); }
};
using Obj = std::unique_ptr<QuolanObject, Deleter>;  // deletes through the object's own Delete

inline Obj make(QuolanObject *cls) { return Obj(cls ? quolan_base_methods(cls)->New(cls) : nullptr); }
inline Obj new_array() { return make(array_baseclass_init()); }

inline const QuolanBaseMethods *B(QuolanObject *o) { return quolan_base_methods(o); }
inline const ArrayMethods *A(QuolanObject *o) { return quolan_array_methods(o); }
inline const DictMethods *D(QuolanObject *o) { return quolan_dict_methods(o); }
inline const GenSetMethods *G(QuolanObject *o) { return quolan_genset_methods(o); }
inline const ArrayTypedMethods *TA(QuolanObject *o) { return quolan_array_typed_methods(o); }
inline const DictTypedMethods *TD(QuolanObject *o) { return quolan_dict_typed_methods(o); }
inline const ArrayDeferMethods *AD(QuolanObject *o) { return quolan_array_defer_methods(o); }
inline const DictDeferMethods *DD(QuolanObject *o) { return quolan_dict_defer_methods(o); }
inline void *K(const char *text) { return const_cast<char *>(text); }

// Client subclasses: `parent`'s instance size, the slots of `Table` filled by
// the caller through `fill`.
template <class Table, class Fill>
QuolanObject *subclass_with(QuolanObject *parent, Fill fill)
{
    QuolanObject *k = quolan_generic_subclass(parent, parent->size, sizeof(Table));
    fill(*reinterpret_cast<Table *>(k->methods));
    return k;
}
template <class Fill>
QuolanObject *root_class_with(Fill fill)
{
    quolan_class_init();
    return subclass_with<QuolanBaseMethods>(quolan_class, fill);
}

// Tracked objects count their Clear calls, so a test sees exactly when a
// container deletes what it owns.  `on_clear`, when set, runs in the next
// one, once: an owned object's Delete that reaches back into its container.
struct Tracked {
    static inline int32_t clears = 0;
    static inline std::function<void()> on_clear;
    static QuolanObject *cls()
    {
        static QuolanObject *c = root_class_with([](QuolanBaseMethods &t) {
            t.Clear = [](QuolanObject *) {
                ++clears;
                if (auto act = std::exchange(on_clear, nullptr)) act();
            };
        });
        return c;
    }
    static QuolanObject *make_raw() { return quolan_base_methods(cls())->New(cls()); }
};

// Objects whose IsA misbehaves: they cannot name their class, or answer an
// N-character name (and only that name to an empty buffer).
inline QuolanObject *nameless_class()
{
    static QuolanObject *c = root_class_with(
        [](QuolanBaseMethods &t) { t.IsA = [](QuolanObject *, char *) -> int32_t { return 0; }; });
    return c;
}
template <int N>
QuolanObject *long_named_class()
{
    static QuolanObject *c = root_class_with([](QuolanBaseMethods &t) {
        t.IsA = [](QuolanObject *, char *name) -> int32_t {
            return *name ? 0 : (std::strcpy(name, std::string(N, 'x').c_str()), 1);
        };
    });
    return c;
}

// Reads position `index` as (status, tag, value reference).
struct Read {
    int32_t status, tag;
    void *value;
    int32_t integer() const { return *static_cast<int32_t *>(value); }
    const char *text() const { return static_cast<const char *>(value); }
};
inline Read get(QuolanObject *o, int32_t index)
{
    Read r{0, -99, reinterpret_cast<void *>(uintptr_t{1})};
    r.status = A(o)->GetAt(o, &r.value, &r.tag, index);
    return r;
}

// The type list a typed container recorded for a position ("-" for none),
// read from its type store, pinned at 64 in ArrayTyped and 72 in DictTyped.
inline std::string type_at(QuolanObject *o, int32_t position)
{
    char *fields = reinterpret_cast<char *>(o) + (o->methods == dict_typedclass_init()->methods ? 72 : 64);
    QuolanObject *store = *reinterpret_cast<QuolanObject **>(fields);
    Read r = store ? get(store, position) : Read{-1, Null, nullptr};
    return r.status != 0 || r.tag == Null ? "-" : r.text();
}

using ByteVec = std::vector<unsigned char>;
// The record `o` saves; without `status` the save must succeed.
inline ByteVec saved(QuolanObject *o, int32_t *status = nullptr, int32_t mode = 0)
{
    Obj s(quolan_memory_stream_new());
    int32_t r = B(o)->Save(o, s.get(), mode);
    if (status) *status = r;
    else EXPECT_EQ(r, 0);
    size_t n = 0;
    const unsigned char *p = quolan_memory_stream_data(s.get(), &n);
    return ByteVec(p, p + n);
}
inline int32_t load(QuolanObject *o, const ByteVec &bytes, int32_t mode = 0)
{
    return B(o)->Load(o, Obj(quolan_memory_stream_from(bytes.data(), bytes.size())).get(), mode);
}

// Builds the little-endian byte records the stream format is made of.
struct Bytes {
    ByteVec v;
    Bytes &raw(const void *p, size_t n)
    {
        v.insert(v.end(), static_cast<const unsigned char *>(p), static_cast<const unsigned char *>(p) + n);
        return *this;
    }
    Bytes &i32(int32_t x) { return raw(&x, 4); }  // little-endian, as the format and our hosts
    Bytes &byte(unsigned char x) { return raw(&x, 1); }
    Bytes &f64(double d) { return raw(&d, 8); }
    // A text: its length, then the text and its NUL.
    Bytes &str(const char *s) { return i32(static_cast<int32_t>(std::strlen(s))).raw(s, std::strlen(s) + 1); }
    // A class identity as the stand-in writes it: the length, then the name.
    Bytes &name(const char *s) { return i32(static_cast<int32_t>(std::strlen(s))).raw(s, std::strlen(s)); }
};

}  // namespace qt

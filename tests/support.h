// Shared helpers for the behaviour suites: owning handles, typed method
// tables, the pinned Array layout, test classes of our own, reads, and the
// byte records of streams.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
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
inline Obj new_dict() { return make(dict_baseclass_init()); }
inline Obj new_set() { return make(genset_baseclass_init()); }

inline const ArrayMethods *A(QuolanObject *o) { return quolan_array_methods(o); }
inline const DictMethods *D(QuolanObject *o) { return quolan_dict_methods(o); }
inline const GenSetMethods *G(QuolanObject *o) { return quolan_genset_methods(o); }
inline const QuolanBaseMethods *B(QuolanObject *o) { return quolan_base_methods(o); }
inline void *K(const char *text) { return const_cast<char *>(text); }

// The pinned instance layout of Array, for looking at storage from outside.
struct ArrayLayout {
    QuolanObject header;
    Element *elements;
    int32_t dimension_count;
    DimensionRecord *dimensions;
    int32_t *cursors;
    int32_t current_slot;
    int32_t capacity;
};
static_assert(sizeof(ArrayLayout) == 64);
inline ArrayLayout *layout(QuolanObject *o) { return reinterpret_cast<ArrayLayout *>(o); }
inline int32_t used_count(QuolanObject *o)
{
    return layout(o)->dimensions ? layout(o)->dimensions[0].used_count : 0;
}
inline int32_t cursor(QuolanObject *o) { return layout(o)->cursors ? layout(o)->cursors[0] : 0; }
// The private store of a Dict (pinned at offset 64) or a GenSet (24).
inline QuolanObject *store_of(QuolanObject *o)
{
    return *reinterpret_cast<QuolanObject **>(reinterpret_cast<char *>(o) + (o->size == 32 ? 24 : 64));
}

// Client subclasses: `parent`'s instance size, slots filled by the caller.
inline QuolanObject *subclass_of(QuolanObject *parent, int32_t slots)
{
    return quolan_generic_subclass(parent, parent->size, slots * sizeof(QuolanMethod));
}
template <class Table>
Table *table_of(QuolanObject *cls)
{
    return reinterpret_cast<Table *>(cls->methods);
}
template <class Fill>
QuolanObject *root_class_with(Fill fill)
{
    quolan_class_init();
    QuolanObject *k = subclass_of(quolan_class, QuolanSlot_Count);
    fill(*table_of<QuolanBaseMethods>(k));
    return k;
}

// Tracked objects count their Clear calls, so a test sees exactly when a
// container deletes what it owns.
struct Tracked {
    static int32_t clears;
    static QuolanObject *cls();
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
            if (*name) return 0;
            std::memset(name, 'x', N);
            name[N] = '\0';
            return 1;
        };
    });
    return c;
}

// Reads position `index` as (status, tag, value reference).
struct Read {
    int32_t status, tag;
    void *value;
    int32_t integer() const { return *static_cast<int32_t *>(value); }
    double real() const { return *static_cast<double *>(value); }
    const char *text() const { return static_cast<const char *>(value); }
};
inline Read get(QuolanObject *o, int32_t index)
{
    Read r{0, -99, reinterpret_cast<void *>(uintptr_t{1})};
    r.status = A(o)->GetAt(o, &r.value, &r.tag, index);
    return r;
}

// The Integer values a walk delivers (-1 for other kinds) until it ends.
inline std::vector<int32_t> walk(QuolanObject *o, bool forward)
{
    std::vector<int32_t> values;
    void *v = nullptr;
    int32_t tag = 0;
    while ((forward ? A(o)->Next : A(o)->Previous)(o, &v, &tag) == 0)
        values.push_back(tag == Integer ? *static_cast<int32_t *>(v) : -1);
    return values;
}

using ByteVec = std::vector<unsigned char>;
inline ByteVec bytes_of(QuolanObject *stream)
{
    size_t n = 0;
    const unsigned char *p = quolan_memory_stream_data(stream, &n);
    return ByteVec(p, p + n);
}
inline Obj stream_from(const ByteVec &bytes) { return Obj(quolan_memory_stream_from(bytes.data(), bytes.size())); }

// The record `o` saves; without `status` the save must succeed.
inline ByteVec saved(QuolanObject *o, int32_t *status = nullptr, int32_t mode = 0)
{
    Obj s(quolan_memory_stream_new());
    int32_t r = B(o)->Save(o, s.get(), mode);
    if (status) *status = r;
    else EXPECT_EQ(r, 0);
    return bytes_of(s.get());
}
inline int32_t load(QuolanObject *o, const ByteVec &bytes, int32_t mode = 0)
{
    return B(o)->Load(o, stream_from(bytes).get(), mode);
}
// Every strict prefix of a record must be refused by a fresh object (and,
// under LeakSanitizer, leave nothing half-built behind).
template <class Fresh>
void expect_every_cut_refused(const ByteVec &full, Fresh fresh)
{
    for (size_t n = 0; n < full.size(); ++n)
        EXPECT_NE(load(fresh().get(), ByteVec(full.begin(), full.begin() + static_cast<long>(n))), 0) << n;
}

// Builds the little-endian byte records the stream format is made of.
struct Bytes {
    ByteVec v;
    Bytes &raw(const void *p, size_t n)
    {
        v.insert(v.end(), static_cast<const unsigned char *>(p), static_cast<const unsigned char *>(p) + n);
        return *this;
    }
    Bytes &i32(int32_t x)
    {
        for (int k = 0; k < 4; ++k) v.push_back(static_cast<unsigned char>(static_cast<uint32_t>(x) >> (8 * k)));
        return *this;
    }
    Bytes &byte(int x)
    {
        auto c = static_cast<unsigned char>(x);
        return raw(&c, 1);
    }
    Bytes &f64(double d) { return raw(&d, 8); }
    // A text: its length, then the text and its NUL.
    Bytes &str(const char *s) { return i32(static_cast<int32_t>(std::strlen(s))).raw(s, std::strlen(s) + 1); }
    // A class identity as the stand-in writes it: the length, then the name.
    Bytes &name(const char *s) { return i32(static_cast<int32_t>(std::strlen(s))).raw(s, std::strlen(s)); }
};

}  // namespace qt

// Shared helpers for the behaviour suites.
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
    void operator()(QuolanObject *o) const
    {
        if (o) quolan_base_methods(o)->Delete(o);
    }
};
using Obj = std::unique_ptr<QuolanObject, Deleter>;

inline Obj make(QuolanObject *cls) { return Obj(cls ? quolan_base_methods(cls)->New(cls) : nullptr); }
inline Obj new_array() { return make(array_baseclass_init()); }

inline const ArrayMethods *A(QuolanObject *o) { return quolan_array_methods(o); }
inline const DictMethods *D(QuolanObject *o) { return quolan_dict_methods(o); }
inline const QuolanBaseMethods *B(QuolanObject *o) { return quolan_base_methods(o); }

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
    auto *l = layout(o);
    return l->dimensions ? l->dimensions[l->dimension_count - 1].used_count : 0;
}
inline int32_t cursor(QuolanObject *o)
{
    auto *l = layout(o);
    return l->cursors ? l->cursors[l->dimension_count - 1] : 0;
}

// A class of the tests' own whose objects count their Clear calls, so a
// test can see exactly when a container deletes what it owns.
struct Tracked {
    static int32_t clears;
    static QuolanObject *cls();
    static QuolanObject *make_raw() { return quolan_base_methods(cls())->New(cls()); }
};

// Reads position `index` as (status, tag, value reference).
struct Read {
    int32_t status;
    int32_t tag;
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

// Bytes of a memory stream, and a stream made from bytes.
inline std::vector<unsigned char> bytes_of(QuolanObject *stream)
{
    size_t n = 0;
    const unsigned char *p = quolan_memory_stream_data(stream, &n);
    return std::vector<unsigned char>(p, p + n);
}
inline Obj stream_from(const std::vector<unsigned char> &bytes)
{
    return Obj(quolan_memory_stream_from(bytes.data(), bytes.size()));
}

// Builds the little-endian byte records the stream format is made of.
struct Bytes {
    std::vector<unsigned char> v;
    Bytes &i32(int32_t x)
    {
        auto u = static_cast<uint32_t>(x);
        for (int k = 0; k < 4; ++k) v.push_back(static_cast<unsigned char>(u >> (8 * k)));
        return *this;
    }
    Bytes &byte(int x)
    {
        v.push_back(static_cast<unsigned char>(x));
        return *this;
    }
    Bytes &raw(const void *p, size_t n)
    {
        auto *c = static_cast<const unsigned char *>(p);
        v.insert(v.end(), c, c + n);
        return *this;
    }
    Bytes &str(const char *s)  // length, then the text and its NUL
    {
        i32(static_cast<int32_t>(std::strlen(s)));
        return raw(s, std::strlen(s) + 1);
    }
    Bytes &f64(double d) { return raw(&d, 8); }
    Bytes &name(const char *class_name)  // class identity as the stand-in writes it
    {
        i32(static_cast<int32_t>(std::strlen(class_name)));
        return raw(class_name, std::strlen(class_name));
    }
};

}  // namespace qt

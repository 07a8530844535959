// Shared pieces of the benchmark suite.
//
// Every workload is registered as one family per contender, named
// "<workload>/<contender>" with the size N as the benchmark argument, so
// that "W1_Append/quolan/1000" and "W1_Append/vector/1000" pair up in the
// runner's table.  The workload and contender names are also what
// scripts/bench_table.py keys its targets on: rename them in both places.
//
// Each benchmark builds its inputs before the timed loop and checks after it
// that the contender really did the work (sums, hit counts, equality): a
// contender that silently fails would otherwise look fast.  A failed check
// marks the run as an error, which the table shows instead of a number.
//
// The peers' 16-byte tagged element is the library's own public Element, so
// the std::vector and GArray contenders move exactly as many bytes as the
// library does.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "quolan/containers.h"
#include "quolan/stream.h"

namespace qb {

struct Deleter {
    void operator()(QuolanObject *o) const
    {
        if (o) quolan_base_methods(o)->Delete(o);
    }
};
using Obj = std::unique_ptr<QuolanObject, Deleter>;

inline QuolanObject *new_of(QuolanObject *cls) { return quolan_base_methods(cls)->New(cls); }
inline void delete_object(QuolanObject *o) { quolan_base_methods(o)->Delete(o); }

// Array's capacity field, read through the pinned instance layout (an int32
// at byte 60): how many elements the storage holds, used or not.
inline int32_t array_capacity(const QuolanObject *array)
{
    int32_t capacity;
    std::memcpy(&capacity, reinterpret_cast<const char *>(array) + 60, sizeof capacity);
    return capacity;
}

inline Element int_element(int32_t v)
{
    Element e{};
    e.tag = Integer;
    e.value.integer = v;
    return e;
}

inline Element pointer_element(int32_t tag, void *p)
{
    Element e{};
    e.tag = tag;
    e.value.pointer = p;
    return e;
}

// Marks a result as used so the work that made it cannot be dropped.  Only
// the read-only form of DoNotOptimize: its read-write form ("+m,r") has been
// seen to lose the value under GCC in sanitizer builds, and the results are
// checked once the timed loop is over.
template <class T>
inline void keep(const T &value)
{
    benchmark::DoNotOptimize(value);
}

inline int32_t size_arg(const benchmark::State &state) { return static_cast<int32_t>(state.range(0)); }

// Sum of 0 .. n-1: what a full pass over the integer fixtures adds up to.
inline int64_t triangle(int64_t n) { return n * (n - 1) / 2; }

// "key0", "key1", ...: the keys of the keyed workload.
std::vector<std::string> key_texts(int32_t n);

// n keys "key<number>" whose numbers follow no order: a hash that keeps
// consecutive numbers apart loses nothing, one that files them side by side
// loses its locality.
std::vector<std::string> scattered_key_texts(int32_t n);

// n distinct texts of exactly 12 characters.
std::vector<std::string> short_texts(int32_t n);

// n distinct nonzero int32 values in scrambled order (a hash table with the
// identity hash sees no runs).
std::vector<int32_t> distinct_ints(int32_t n);

// count positions drawn uniformly from [0, bound) with a fixed seed, so every
// contender reads the same sequence.
std::vector<int32_t> random_indices(int32_t count, int32_t bound);

// A plain Array holding Integer i at position i, for i < n; NULL on failure.
Obj int_array(int32_t n);

using Body = void (*)(benchmark::State &);

struct Contender {
    const char *name;
    Body body;
};

// Registers "<workload>/<contender>" for every contender, each with every size.
void add_family(const char *workload, std::initializer_list<Contender> contenders,
                std::initializer_list<int64_t> sizes);

// One registration function per source file; main calls them once the
// classes exist.
void register_sequence_benchmarks();
void register_keyed_benchmarks();
void register_stream_benchmarks();
void register_copy_benchmarks();

}  // namespace qb

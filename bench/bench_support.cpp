// Inputs shared by the workloads, and family registration.
#include "bench_support.h"

#include <cstdio>
#include <cstdlib>
#include <random>

namespace qb {

std::vector<std::string> key_texts(int32_t n)
{
    std::vector<std::string> keys;
    keys.reserve(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) keys.push_back("key" + std::to_string(i));
    return keys;
}

std::vector<std::string> scattered_key_texts(int32_t n)
{
    // The same multiply as distinct_ints: a permutation of the 32-bit
    // integers, so the keys stay distinct, in no numeric order.
    std::vector<std::string> keys;
    keys.reserve(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) keys.push_back("key" + std::to_string(static_cast<uint32_t>(i) * 2654435761u));
    return keys;
}

std::vector<std::string> short_texts(int32_t n)
{
    std::vector<std::string> texts;
    texts.reserve(static_cast<size_t>(n));
    char buffer[16];
    for (int32_t i = 0; i < n; ++i) {
        std::snprintf(buffer, sizeof buffer, "s%011d", i);
        texts.emplace_back(buffer);
    }
    return texts;
}

std::vector<int32_t> distinct_ints(int32_t n)
{
    // Multiplying by an odd constant permutes the 32-bit integers, so the
    // values stay distinct; +1 keeps 0 (a NULL key for pointer-keyed hash
    // tables) out for every n the suite uses.
    std::vector<int32_t> values;
    values.reserve(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i)
        values.push_back(static_cast<int32_t>(static_cast<uint32_t>(i) * 2654435761u + 1u));
    return values;
}

std::vector<int32_t> random_indices(int32_t count, int32_t bound)
{
    std::mt19937 generator(12345);
    std::uniform_int_distribution<int32_t> pick(0, bound - 1);
    std::vector<int32_t> indices(static_cast<size_t>(count));
    for (auto &index : indices) index = pick(generator);
    return indices;
}

Obj int_array(int32_t n)
{
    Obj array(new_of(array_baseclass));
    if (!array) return nullptr;
    const ArrayMethods *m = quolan_array_methods(array.get());
    for (int32_t i = 0; i < n; ++i)
        if (m->PutIntAt(array.get(), i, -2) != StatusOk) return nullptr;
    return array;
}

void add_family(const char *workload, std::initializer_list<Contender> contenders,
                std::initializer_list<int64_t> sizes)
{
    // A fixed iteration count makes two runs differ by exactly the work of
    // the extra iterations: that is how bench/count_instructions.py gets
    // instructions per operation out of callgrind's totals.
    const char *fixed = std::getenv("QUOLAN_BENCH_ITERATIONS");
    for (const Contender &c : contenders) {
        std::string name = std::string(workload) + "/" + c.name;
        auto *b = benchmark::RegisterBenchmark(name.c_str(), c.body);
        b->Unit(benchmark::kMicrosecond);
        if (fixed) b->Iterations(std::atoll(fixed));
        for (int64_t n : sizes) b->Arg(n);
    }
}

}  // namespace qb

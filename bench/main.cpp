// The benchmark driver: heap policy, class creation, then Google Benchmark.
//
// The machines we measure on are VMs where a page fault costs far more than
// the work around it.  Left alone, glibc would hand large blocks back to the
// kernel on free and map fresh ones on the next malloc, so every iteration of
// a big workload would pay its page faults again, and contenders that free
// in a different order would pay different amounts.  So, before anything is
// measured: blocks up to 32 MiB come from the heap instead of their own
// mappings, the heap is never trimmed, and one 64 MiB warm-up grows it and
// touches every page.  All contenders then run on an already-faulted heap.
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench_support.h"

namespace {

void prepare_heap()
{
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    // Four blocks under the mmap threshold, so they come from the heap
    // itself; freed, they merge into its top and stay mapped.
    constexpr size_t kBlock = 16u * 1024 * 1024;
    void *blocks[4];
    for (auto &block : blocks) {
        block = std::malloc(kBlock);
        if (block) std::memset(block, 1, kBlock);
    }
    for (int i = 3; i >= 0; --i) std::free(blocks[i]);
}

bool create_classes()
{
    return array_baseclass_init() && dict_baseclass_init() && genset_baseclass_init();
}

}  // namespace

int main(int argc, char **argv)
{
    prepare_heap();
    if (!create_classes()) {
        std::fprintf(stderr, "quolan_bench: the container classes could not be created\n");
        return 1;
    }
    qb::register_sequence_benchmarks();
    qb::register_keyed_benchmarks();
    qb::register_stream_benchmarks();
    qb::register_copy_benchmarks();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Every heap allocation of the library goes through here.  Owned values are
// released by clients and by other libraries with the C library's free, so
// these stay thin wrappers over malloc/realloc/free; having one place lets
// tests make allocations fail on demand.
//
// May touch: the C library's allocator, nothing else.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace qc::mem {

// Whether an operation needs the memory (Required: it fails without it) or
// only goes faster with it (Optional: the key index, without which searches
// walk).  Tests make either kind fail.
enum class Need { Required, Optional };

#if defined(QUOLAN_FAULT_INJECTION)
// Test builds only: the test harness answers whether this allocation fails.
extern "C" int quolan_fault_should_fail(int optional);
inline bool should_fail(Need need = Need::Required) { return quolan_fault_should_fail(need == Need::Optional) != 0; }
#else
inline bool should_fail(Need = Need::Required) { return false; }
#endif

inline void *alloc(size_t size, Need need = Need::Required) { return should_fail(need) ? nullptr : std::malloc(size); }
// Zeroed memory.  glibc's calloc bypasses its per-thread cache, which serves
// blocks up to about 1 KiB at a fraction of the cost, so small blocks are
// taken with malloc and zeroed here (the empty asm keeps the compiler from
// folding the pair back into calloc); larger ones keep calloc, which can
// hand out pages that are already zero.
inline constexpr size_t kCachedBlock = 1024;
inline void *zalloc(size_t count, size_t size, Need need = Need::Required)
{
    if (should_fail(need)) return nullptr;
    if (size == 0 || count > kCachedBlock / size) return std::calloc(count, size);
    void *block = std::malloc(count * size);
    __asm__("" : "+r"(block));
    if (block) std::memset(block, 0, count * size);
    return block;
}
inline void *grow(void *block, size_t size, Need need = Need::Required)
{
    return should_fail(need) ? nullptr : std::realloc(block, size);
}
inline char *dup(const char *text)
{
    if (should_fail()) return nullptr;
    size_t n = std::strlen(text) + 1;
    char *copy = static_cast<char *>(std::malloc(n));
    if (copy) std::memcpy(copy, text, n);
    return copy;
}
inline void release(void *block) { std::free(block); }

}  // namespace qc::mem

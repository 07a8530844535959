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
inline void *zalloc(size_t count, size_t size, Need need = Need::Required)
{
    return should_fail(need) ? nullptr : std::calloc(count, size);
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

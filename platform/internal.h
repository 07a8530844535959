/*
 * platform/internal.h - what the stand-in's translation units share.
 *
 * The stand-in plays three host libraries at once: the object system
 * (object_system.cpp), the stream library (streams.cpp, class_identity.cpp)
 * and the assertion service (assertions.cpp).  Nothing here is installed or
 * exported; the default visibility of the library is hidden.
 *
 * The host is single-threaded at class-creation time: classes are made once,
 * up front, before objects of them are used, so the registry takes no locks.
 */
#ifndef QUOLAN_PLATFORM_INTERNAL_H
#define QUOLAN_PLATFORM_INTERNAL_H

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "quolan/object.h"

namespace quolan::platform {

/* Every allocation of the stand-in goes through these, so that a test build
 * (QUOLAN_FAULT_INJECTION) can make any one of them fail on demand. */
#if defined(QUOLAN_FAULT_INJECTION)
extern "C" int quolan_fault_should_fail(int optional);
inline bool allocation_fails() { return quolan_fault_should_fail(0) != 0; }
#else
inline bool allocation_fails() { return false; }
#endif
inline void *pf_malloc(size_t n) { return allocation_fails() ? nullptr : malloc(n); }
/* glibc's calloc bypasses its per-thread cache, which serves blocks up to
 * about 1 KiB; objects are that small, and malloc plus memset takes them
 * from there (the empty asm keeps the compiler from folding the pair back
 * into calloc).  Larger blocks keep calloc, which may hand out zero pages. */
inline constexpr size_t kCachedBlock = 1024;
inline void *pf_calloc(size_t n, size_t size)
{
    if (allocation_fails()) return nullptr;
    if (size == 0 || n > kCachedBlock / size) return calloc(n, size);
    void *block = malloc(n * size);
    __asm__("" : "+r"(block));
    if (block) memset(block, 0, n * size);
    return block;
}
inline void *pf_realloc(void *p, size_t n) { return allocation_fails() ? nullptr : realloc(p, n); }

/* What a slot answers when it has no method behind it. */
inline constexpr int32_t kRefused = -2;

/* Slots are stored untyped; every store goes through here so that the typed
 * pointer is checked against the slot's signature where the table is filled. */
template <typename Fn>
inline QuolanMethod to_method(Fn *function)
{
    return reinterpret_cast<QuolanMethod>(function);
}

/* Number of slots in the table of a class made by this object system (the
 * root included), or 0 for a table it did not make.  Instances share their
 * class's table, so an instance answers like its class. */
size_t table_slot_count(const QuolanObject *object);

/* The classes made so far, in creation order, root excluded.  The pointers
 * stay valid for the life of the process. */
size_t created_class_count(void);
QuolanObject *created_class_at(size_t index);

} // namespace quolan::platform

#endif /* QUOLAN_PLATFORM_INTERNAL_H */

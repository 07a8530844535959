/*
 * quolan/object.h - the QUOLAN object system as the container library sees it.
 *
 * Every object, class objects included, starts with a three-word header: its
 * instance size, a class word that is copied and never interpreted, and a
 * pointer to its method table.  A class object is the prototype of its
 * instances: New on it yields a zeroed instance of the size in word 0 that
 * shares its class word and method table.
 *
 * The functions declared here belong to the host object system.  This
 * project ships a small stand-in for them (libquolan_platform); a real host
 * can replace it at link time.
 *
 * Method tables are arrays of QuolanMethod.  Each class describes its slots
 * ONCE, as an X-macro list; the slot constants, the typed method-table
 * structs and the compile-time offset checks below all follow from it, so a
 * C client writes `quolan_base_methods(o)->Delete(o)` instead of a cast.
 */
#ifndef QUOLAN_OBJECT_H
#define QUOLAN_OBJECT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Marks the few symbols a library exports; everything else stays hidden. */
#if defined(__GNUC__)
#define QUOLAN_EXPORT __attribute__((visibility("default")))
#else
#define QUOLAN_EXPORT
#endif

#ifdef __cplusplus
#define QUOLAN_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define QUOLAN_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* Casts in inline helpers: the headers must also build warning-free as C++. */
#ifdef __cplusplus
#define QUOLAN_REINTERPRET(T, e) (reinterpret_cast<T>(e))
#else
#define QUOLAN_REINTERPRET(T, e) ((T)(e))
#endif

/* One method-table slot; cast to the slot's own signature before calling. */
typedef void (*QuolanMethod)(void);

/* Header of every object, classes included. */
typedef struct QuolanObject {
    size_t size;            /* word 0: instance size in bytes, header included */
    uintptr_t class_word;   /* word 1: per-class value, copied, never interpreted */
    QuolanMethod *methods;  /* word 2: method table */
} QuolanObject;

/* One row of a class's named-method table; a row with a NULL name ends it. */
typedef struct MethodKeyword {
    const char *name;
    int32_t offset; /* byte offset of the slot: slot * sizeof(QuolanMethod) */
    int32_t flag;   /* 1 reachable by name, 0 not */
} MethodKeyword;

/*
 * Slot lists.  Each row is X(C, slot, Name, ReturnType, (parameters), flag),
 * where C is whatever token the consumer passes through and flag says whether
 * the method is reachable by name.
 */
#define QUOLAN_BASE_METHOD_LIST(X, C)                                                    \
    X(C, 0, New, QuolanObject *, (QuolanObject * cls), 1)                                \
    X(C, 1, Init, int32_t, (QuolanObject * self), 1)                                     \
    X(C, 2, Delete, int32_t, (QuolanObject * self), 1)                                   \
    X(C, 3, Clear, void, (QuolanObject * self), 1)                                       \
    X(C, 4, GetVersion, int32_t, (QuolanObject * self, const char *name), 1)             \
    X(C, 5, GetMethod, QuolanMethod, (QuolanObject * self, const char *name), 1)         \
    X(C, 6, IsA, int32_t, (QuolanObject * self, char *name), 1)                          \
    X(C, 7, NewFromStream, QuolanObject *,                                               \
      (QuolanObject * cls, QuolanObject * stream, int32_t mode), 1)                      \
    X(C, 8, Save, int32_t, (QuolanObject * self, QuolanObject * stream, int32_t mode), 1) \
    X(C, 9, Load, int32_t, (QuolanObject * self, QuolanObject * stream, int32_t mode), 1) \
    X(C, 10, Copy, QuolanObject *, (QuolanObject * prototype, QuolanObject * source), 1) \
    X(C, 11, IsEqual, int32_t, (QuolanObject * self, QuolanObject * other), 1)

/* Consumers of the lists. */
#define QUOLAN_SLOT_ENUM(C, slot, Name, Ret, Params, flag) C##Slot_##Name = slot,
#define QUOLAN_METHOD_MEMBER(C, slot, Name, Ret, Params, flag) Ret(*Name) Params;
#define QUOLAN_METHOD_OFFSET_CHECK(C, slot, Name, Ret, Params, flag)           \
    QUOLAN_STATIC_ASSERT(offsetof(C, Name) == (slot) * sizeof(QuolanMethod), \
                         #C "." #Name " must sit at slot " #slot);

/* QuolanSlot_New = 0 ... QuolanSlot_IsEqual = 11 */
enum { QUOLAN_BASE_METHOD_LIST(QUOLAN_SLOT_ENUM, Quolan) QuolanSlot_Count };

typedef struct QuolanBaseMethods {
    QUOLAN_BASE_METHOD_LIST(QUOLAN_METHOD_MEMBER, _)
} QuolanBaseMethods;
QUOLAN_BASE_METHOD_LIST(QUOLAN_METHOD_OFFSET_CHECK, QuolanBaseMethods)
QUOLAN_STATIC_ASSERT(sizeof(QuolanBaseMethods) == QuolanSlot_Count * sizeof(QuolanMethod),
                     "QuolanBaseMethods has one member per base slot");

/* The base interface of any object. */
static inline const QuolanBaseMethods *quolan_base_methods(const QuolanObject *object)
{
    return QUOLAN_REINTERPRET(const QuolanBaseMethods *, object->methods);
}

/* Makes the root class available; call before reading quolan_class. */
QUOLAN_EXPORT void quolan_class_init(void);

/* The root class object, class name "QUOLAN"; NULL until quolan_class_init. */
QUOLAN_EXPORT extern QuolanObject *quolan_class;

/*
 * A new class object laid out as an instance of instance_size bytes (own
 * fields zero) whose method table has table_size / sizeof(QuolanMethod)
 * slots, copied from the parent's; slots past the parent's count answer -2.
 * NULL on failure.  Classes live until the process ends.
 */
QUOLAN_EXPORT QuolanObject *quolan_generic_subclass(QuolanObject *parent, size_t instance_size,
                                                    size_t table_size);

/* Entry of a table whose first field is a `const char *` name, or NULL. */
QUOLAN_EXPORT const void *findkeyword(const char *name, const void *table, size_t entry_size);

/* Assertion service: both record the report and return to the caller. */
QUOLAN_EXPORT void ZV_AssertForExport(int32_t condition);
QUOLAN_EXPORT void ZV_CantHappenForExport(int32_t condition);

#ifdef __cplusplus
}
#endif

#endif /* QUOLAN_OBJECT_H */

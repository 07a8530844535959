/*
 * quolan/containers.h - the QUOLAN container library.
 *
 * Seven classes of the QUOLAN object system hold tagged values (Element):
 *
 *   Array       growable sequence addressed by position, with a cursor
 *   Dict        an Array whose positions are also reached by key
 *   ArrayTyped  an Array whose positions carry type lists; access mode, lock
 *   DictTyped   the same on top of Dict
 *   ArrayDefer  an Array whose values may be produced on first read by a loader
 *   DictDefer   the same on top of Dict
 *   GenSet      a set of tagged values, each present once
 *
 * A class exists after its *_init function has run; the class pointer holds it
 * (NULL until then).  Objects are made with New on the class and destroyed
 * with Delete; every method is reached through the object's method table:
 *
 *     QuolanObject *a = quolan_base_methods(array_baseclass_init())->New(array_baseclass);
 *     quolan_array_methods(a)->PutIntAt(a, 42, -2);   // append
 *     quolan_base_methods(a)->Delete(a);
 *
 * Methods are also found by name with GetMethod.  Every method answers a
 * signed status (Status* below), 0 for success, unless documented otherwise.
 * Ownership follows the element tag: Owned* values are released by the
 * container; borrowed values never are.
 */
#ifndef QUOLAN_CONTAINERS_H
#define QUOLAN_CONTAINERS_H

#include <stdint.h>
#include <stdio.h>

#include "quolan/object.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Tags of Element.  Three borrowed/owned families: strings (3, 4), objects
 * (5, 6) and pointers (7, 8).  Tags cross the interface as int32_t. */
typedef enum ElementType {
    Null = 0,         /* no value; reads give a null value */
    Integer = 1,      /* int32 held in the element */
    Double = 2,       /* double held in the element */
    String = 3,       /* borrowed NUL-terminated string */
    OwnedString = 4,  /* the container's own duplicate; released with free */
    Object = 5,       /* borrowed object */
    OwnedObject = 6,  /* object handed over; released with its own Delete */
    Pointer = 7,      /* borrowed untyped pointer */
    OwnedPointer = 8, /* malloc'd block handed over; released with free */
    Boolean = 9       /* int32 held in the element, nonzero is true */
} ElementType;

/* Status codes: X(Name, value), one row each; the enum and the names that
 * quolan_status_name answers both follow from this list. */
#define QUOLAN_STATUS_LIST(X)                                                     \
    X(StatusOk, 0)                                                                \
    X(StatusFailedFlag, 1)    /* failure as a flag (GetSymbol, GetValue, ...) */  \
    X(StatusNotFound, -1)     /* a search found nothing (an index result) */      \
    X(StatusFailed, -2)       /* refused, not supported, short stream data */     \
    X(StatusBadType, -3)      /* tag out of range, not storable, not admitted */  \
    X(StatusLocked, -4)       /* typed container locked or read-only */           \
    X(StatusNoMemory, -5)     /* memory or a needed inner store unavailable */    \
    X(StatusOutOfRange, -6)   /* no element there; also the end of every walk */  \
    X(StatusNeedsDouble, -10) /* Integer admitted only as Double */               \
    X(StatusBaseIgnored, -11) /* the object system's base Save/Load answer */

#define QUOLAN_STATUS_ENUM(Name, value) Name = value,
enum { QUOLAN_STATUS_LIST(QUOLAN_STATUS_ENUM) };

/* Access modes of the typed containers. */
enum { ReadWrite = 0, ReadOnly = 1 };

/* The value of every container position: 16 bytes, the value at offset 8.
 * Values pass in and out of element operations as one pointer: for Integer,
 * Double and Boolean a pointer to the datum, otherwise the pointer itself. */
typedef struct Element {
    int32_t tag;
    union {
        int32_t integer;
        double real;
        void *pointer;
    } value;
} Element;
QUOLAN_STATIC_ASSERT(sizeof(Element) == 16, "Element is 16 bytes");
QUOLAN_STATIC_ASSERT(offsetof(Element, value) == 8, "Element value at offset 8");

/* One dimension of an Array. */
typedef struct DimensionRecord {
    int32_t used_count;   /* one more than the highest position in use */
    int32_t initial_size; /* reads up to it extend the array */
    int32_t max_size;     /* positions at or beyond it are refused; 0: no bound */
} DimensionRecord;

/* ---- Slot lists: X(C, slot, Name, ReturnType, (parameters), by-name flag) ---- */

#define QUOLAN_ARRAY_METHOD_LIST(X, C)                                                        \
    X(C, 12, SetDimension, int32_t, (QuolanObject * self, int32_t count), 1)                  \
    X(C, 13, SetSizes, void, (QuolanObject * self, int32_t initial, int32_t maximum), 1)      \
    X(C, 14, GetSizes, int32_t, (QuolanObject * self, int32_t * initial, int32_t * maximum), 1) \
    X(C, 15, SetIndex, int32_t, (QuolanObject * self, int32_t index), 1)                      \
    X(C, 16, GetIndex, int32_t, (QuolanObject * self, int32_t * index), 1)                    \
    X(C, 17, PutAt, int32_t, (QuolanObject * self, void *value, int32_t tag, int32_t index), 1) \
    X(C, 18, PutBooleanAt, int32_t, (QuolanObject * self, int32_t value, int32_t index), 1)   \
    X(C, 19, PutIntAt, int32_t, (QuolanObject * self, int32_t value, int32_t index), 1)       \
    X(C, 20, PutDoubleAt, int32_t, (QuolanObject * self, double value, int32_t index), 1)     \
    X(C, 21, PutStringAt, int32_t, (QuolanObject * self, const char *value, int32_t index), 1) \
    X(C, 22, PutStringCopyAt, int32_t, (QuolanObject * self, const char *value, int32_t index), 1) \
    X(C, 23, PutObjectAt, int32_t, (QuolanObject * self, QuolanObject * value, int32_t index), 1) \
    X(C, 24, PutObjectCopyAt, int32_t, (QuolanObject * self, QuolanObject * value, int32_t index), 1) \
    X(C, 25, PutPtrAt, int32_t, (QuolanObject * self, void *value, int32_t index), 1)         \
    X(C, 26, PutPtrCopyAt, int32_t, (QuolanObject * self, void *value, int32_t index), 1)     \
    X(C, 27, GetAt, int32_t, (QuolanObject * self, void **value, int32_t *tag, int32_t index), 1) \
    X(C, 28, Next, int32_t, (QuolanObject * self, void **value, int32_t *tag), 1)             \
    X(C, 29, Previous, int32_t, (QuolanObject * self, void **value, int32_t *tag), 1)         \
    X(C, 30, ClearAt, int32_t, (QuolanObject * self, int32_t index), 1)

#define QUOLAN_ARRAY_DEFER_METHOD_LIST(X, C)                                                  \
    X(C, 31, SetLoader, void, (QuolanObject * self, QuolanObject * loader), 1)                \
    X(C, 32, GetLoader, QuolanObject *, (QuolanObject * self), 1)                             \
    X(C, 33, PutDeferredAt, int32_t,                                                          \
      (QuolanObject * self, void *key, int32_t key_tag, int32_t index), 1)                    \
    X(C, 34, GetDeferredAt, int32_t,                                                          \
      (QuolanObject * self, void **value, int32_t *tag, int32_t index), 1)

#define QUOLAN_ARRAY_TYPED_METHOD_LIST(X, C)                                                  \
    X(C, 31, SetSlotType, int32_t, (QuolanObject * self, const char *types, int32_t index), 1) \
    X(C, 32, CheckSlotType, int32_t,                                                          \
      (QuolanObject * self, void *value, int32_t tag, int32_t index), 1)                      \
    X(C, 33, SetAccess, int32_t, (QuolanObject * self, int32_t mode), 1)                      \
    X(C, 34, GetAccess, int32_t, (QuolanObject * self), 1)                                    \
    X(C, 35, SetLock, void, (QuolanObject * self, int32_t lock), 0)

#define QUOLAN_DICT_METHOD_LIST(X, C)                                                         \
    X(C, 31, StringSymbolIndex, int32_t, (QuolanObject * self, const char *key), 1)           \
    X(C, 32, SymbolIndex, int32_t, (QuolanObject * self, void *key, int32_t kind), 1)         \
    X(C, 33, GetStringSymbol, const char *, (QuolanObject * self, int32_t position), 1)       \
    X(C, 34, GetSymbol, int32_t,                                                              \
      (QuolanObject * self, void **key, int32_t *kind, int32_t position), 1)                  \
    X(C, 35, PutStringKey, int32_t,                                                           \
      (QuolanObject * self, void *value, int32_t kind, const char *key), 1)                   \
    X(C, 36, PutIntStringKey, int32_t, (QuolanObject * self, int32_t value, const char *key), 1) \
    X(C, 37, PutDoubleStringKey, int32_t, (QuolanObject * self, double value, const char *key), 1) \
    X(C, 38, GetStringKey, int32_t,                                                           \
      (QuolanObject * self, void **value, int32_t *kind, const char *key), 1)                 \
    X(C, 39, PutKey, int32_t,                                                                 \
      (QuolanObject * self, void *value, int32_t kind, void *key, int32_t key_kind), 1)       \
    X(C, 40, GetKey, int32_t,                                                                 \
      (QuolanObject * self, void **value, int32_t *kind, void *key, int32_t key_kind), 1)     \
    X(C, 41, ClearKey, int32_t, (QuolanObject * self, void *key, int32_t key_kind), 1)

#define QUOLAN_DICT_DEFER_METHOD_LIST(X, C)                                                   \
    X(C, 42, SetLoader, void, (QuolanObject * self, QuolanObject * loader), 1)                \
    X(C, 43, GetLoader, QuolanObject *, (QuolanObject * self), 1)                             \
    X(C, 44, PutDeferredKey, int32_t,                                                         \
      (QuolanObject * self, void *loader_key, int32_t loader_key_tag, void *key,              \
       int32_t key_tag), 1)                                                                   \
    X(C, 45, PutDeferredStringKey, int32_t,                                                   \
      (QuolanObject * self, void *loader_key, int32_t loader_key_tag, const char *key), 1)    \
    X(C, 46, GetDeferredKey, int32_t,                                                         \
      (QuolanObject * self, void **value, int32_t *tag, void *key, int32_t key_tag), 1)       \
    X(C, 47, GetDeferredStringKey, int32_t,                                                   \
      (QuolanObject * self, void **value, int32_t *tag, const char *key), 1)

#define QUOLAN_DICT_TYPED_METHOD_LIST(X, C)                                                   \
    X(C, 42, SetStringKeyType, int32_t,                                                       \
      (QuolanObject * self, const char *types, const char *key), 1)                           \
    X(C, 43, SetKeyType, int32_t,                                                             \
      (QuolanObject * self, const char *types, void *key, int32_t key_tag), 1)                \
    X(C, 44, CheckStringKeyType, int32_t,                                                     \
      (QuolanObject * self, void *value, int32_t tag, const char *key), 1)                    \
    X(C, 45, CheckKeyType, int32_t,                                                           \
      (QuolanObject * self, void *value, int32_t tag, void *key, int32_t key_tag), 1)         \
    X(C, 46, SetAccess, int32_t, (QuolanObject * self, int32_t mode), 1)                      \
    X(C, 47, GetAccess, int32_t, (QuolanObject * self), 1)                                    \
    X(C, 48, SetLock, void, (QuolanObject * self, int32_t lock), 0)

#define QUOLAN_GENSET_METHOD_LIST(X, C)                                                       \
    X(C, 12, StringGetIndex, int32_t, (QuolanObject * self, const char *value), 1)            \
    X(C, 13, GetIndex, int32_t, (QuolanObject * self, void *value, int32_t kind), 1)          \
    X(C, 14, GetStringValue, const char *, (QuolanObject * self, int32_t position), 1)        \
    X(C, 15, GetValue, int32_t,                                                               \
      (QuolanObject * self, void **value, int32_t *kind, int32_t position), 1)                \
    X(C, 16, Add, int32_t, (QuolanObject * self, void *value, int32_t kind), 1)               \
    X(C, 17, AddString, int32_t, (QuolanObject * self, const char *value), 1)                 \
    X(C, 18, AddInt32, int32_t, (QuolanObject * self, int32_t value), 1)                      \
    X(C, 19, Contains, int32_t, (QuolanObject * self, void *value, int32_t kind), 1)          \
    X(C, 20, ContainsString, int32_t, (QuolanObject * self, const char *value), 1)            \
    X(C, 21, ContainsInt32, int32_t, (QuolanObject * self, int32_t value), 1)                 \
    X(C, 22, ClearElement, int32_t, (QuolanObject * self, void *value, int32_t kind), 1)

/* Whole tables, parent's slots first. */
#define QUOLAN_ARRAY_TABLE(X, C) QUOLAN_BASE_METHOD_LIST(X, C) QUOLAN_ARRAY_METHOD_LIST(X, C)
#define QUOLAN_ARRAY_DEFER_TABLE(X, C) QUOLAN_ARRAY_TABLE(X, C) QUOLAN_ARRAY_DEFER_METHOD_LIST(X, C)
#define QUOLAN_ARRAY_TYPED_TABLE(X, C) QUOLAN_ARRAY_TABLE(X, C) QUOLAN_ARRAY_TYPED_METHOD_LIST(X, C)
#define QUOLAN_DICT_TABLE(X, C) QUOLAN_ARRAY_TABLE(X, C) QUOLAN_DICT_METHOD_LIST(X, C)
#define QUOLAN_DICT_DEFER_TABLE(X, C) QUOLAN_DICT_TABLE(X, C) QUOLAN_DICT_DEFER_METHOD_LIST(X, C)
#define QUOLAN_DICT_TYPED_TABLE(X, C) QUOLAN_DICT_TABLE(X, C) QUOLAN_DICT_TYPED_METHOD_LIST(X, C)
#define QUOLAN_GENSET_TABLE(X, C) QUOLAN_BASE_METHOD_LIST(X, C) QUOLAN_GENSET_METHOD_LIST(X, C)

/* Slot numbers: ArraySlot_PutAt == 17, DictSlot_PutKey == 39, ...; each
 * *Slot_Count follows its list's last slot, so it is the class's table size. */
enum { QUOLAN_ARRAY_METHOD_LIST(QUOLAN_SLOT_ENUM, Array) ArraySlot_Count };
enum { QUOLAN_ARRAY_DEFER_METHOD_LIST(QUOLAN_SLOT_ENUM, ArrayDefer) ArrayDeferSlot_Count };
enum { QUOLAN_ARRAY_TYPED_METHOD_LIST(QUOLAN_SLOT_ENUM, ArrayTyped) ArrayTypedSlot_Count };
enum { QUOLAN_DICT_METHOD_LIST(QUOLAN_SLOT_ENUM, Dict) DictSlot_Count };
enum { QUOLAN_DICT_DEFER_METHOD_LIST(QUOLAN_SLOT_ENUM, DictDefer) DictDeferSlot_Count };
enum { QUOLAN_DICT_TYPED_METHOD_LIST(QUOLAN_SLOT_ENUM, DictTyped) DictTypedSlot_Count };
enum { QUOLAN_GENSET_METHOD_LIST(QUOLAN_SLOT_ENUM, GenSet) GenSetSlot_Count };

/* Typed method tables: member k sits at slot k. */
#define QUOLAN_DECLARE_METHODS(Struct, TABLE, count, accessor)                           \
    typedef struct Struct {                                                              \
        TABLE(QUOLAN_METHOD_MEMBER, _)                                                   \
    } Struct;                                                                            \
    TABLE(QUOLAN_METHOD_OFFSET_CHECK, Struct)                                            \
    QUOLAN_STATIC_ASSERT(sizeof(Struct) == (count) * sizeof(QuolanMethod),               \
                         #Struct " has one member per slot of its class");              \
    static inline const Struct *accessor(const QuolanObject *object)                     \
    {                                                                                    \
        return QUOLAN_REINTERPRET(const Struct *, object->methods);                      \
    }

QUOLAN_DECLARE_METHODS(ArrayMethods, QUOLAN_ARRAY_TABLE, ArraySlot_Count, quolan_array_methods)
QUOLAN_DECLARE_METHODS(ArrayDeferMethods, QUOLAN_ARRAY_DEFER_TABLE, ArrayDeferSlot_Count, quolan_array_defer_methods)
QUOLAN_DECLARE_METHODS(ArrayTypedMethods, QUOLAN_ARRAY_TYPED_TABLE, ArrayTypedSlot_Count, quolan_array_typed_methods)
QUOLAN_DECLARE_METHODS(DictMethods, QUOLAN_DICT_TABLE, DictSlot_Count, quolan_dict_methods)
QUOLAN_DECLARE_METHODS(DictDeferMethods, QUOLAN_DICT_DEFER_TABLE, DictDeferSlot_Count, quolan_dict_defer_methods)
QUOLAN_DECLARE_METHODS(DictTypedMethods, QUOLAN_DICT_TYPED_TABLE, DictTypedSlot_Count, quolan_dict_typed_methods)
QUOLAN_DECLARE_METHODS(GenSetMethods, QUOLAN_GENSET_TABLE, GenSetSlot_Count, quolan_genset_methods)

/* ---- Exports ---- */

/* Class pointers: NULL until the class is created by its init function. */
QUOLAN_EXPORT extern QuolanObject *array_baseclass;
QUOLAN_EXPORT extern QuolanObject *array_deferclass;
QUOLAN_EXPORT extern QuolanObject *array_typedclass;
QUOLAN_EXPORT extern QuolanObject *dict_baseclass;
QUOLAN_EXPORT extern QuolanObject *dict_deferclass;
QUOLAN_EXPORT extern QuolanObject *dict_typedclass;
QUOLAN_EXPORT extern QuolanObject *genset_baseclass;

/* Create the class (and its ancestors) on first call; answer the class
 * pointer, or NULL when the parent is missing or its version does not fit. */
QUOLAN_EXPORT QuolanObject *array_baseclass_init(void);
QUOLAN_EXPORT QuolanObject *array_deferclass_init(void);
QUOLAN_EXPORT QuolanObject *array_typedclass_init(void);
QUOLAN_EXPORT QuolanObject *dict_baseclass_init(void);
QUOLAN_EXPORT QuolanObject *dict_deferclass_init(void);
QUOLAN_EXPORT QuolanObject *dict_typedclass_init(void);
QUOLAN_EXPORT QuolanObject *genset_baseclass_init(void);

/* Debug printers; a NULL stream means stderr.  Nothing is flushed. */
QUOLAN_EXPORT int32_t debug_print_element(void *value, int32_t tag, FILE *stream);
QUOLAN_EXPORT int32_t debug_print_array(QuolanObject *object, uint32_t depth, FILE *stream);
QUOLAN_EXPORT int32_t debug_print_dict(QuolanObject *object, uint32_t depth, FILE *stream);

/* ---- Container files ----
 *
 * A container file holds one saved container: the magic "QUOLANCF", the
 * format version (int32 1), the class identity, the container's record, and
 * nothing after it (docs/file-format.md).  Both functions answer a status:
 *
 *   StatusOk        done
 *   StatusFailed    a NULL or empty argument; the file cannot be opened,
 *                   created, written or renamed into place (errno is left as
 *                   the failing system call set it); or the file is not one
 *                   container file: too short, another magic or format
 *                   version, an unknown class, a record cut short, bytes
 *                   after the record; also what Save and Load of the
 *                   container answer for short or refused stream data, and
 *                   for the classes that have no saved form (ArrayDefer,
 *                   DictDefer)
 *   StatusBadType   the container holds a value that has no saved form (a
 *                   pointer), or the file a tag that does not exist
 *   StatusNoMemory  memory ran out
 *   any other       what the container's own Save or Load answered
 *
 * A failure changes nothing: a failed load leaves no object behind, and a
 * failed save leaves any file at `path` as it was, because the record is
 * written to a new file in the same directory that replaces `path` by
 * rename only when every byte is written.  A symbolic link at `path` is
 * followed, and a file replaced keeps its permissions.  Only a regular file
 * is replaced: a directory, a device, a pipe or a socket at `path` is
 * refused (StatusFailed, errno EISDIR or EINVAL) and left as it is.  The rename is not
 * made durable with fsync; a caller who needs that syncs the directory.
 *
 * The first load creates the seven container classes, so that a file of any
 * class loads, and the first save a small stream class of its own: make the
 * first call before threads share the library, as with the init functions.
 */

/* Writes `container` to the file at `path` as a container file. */
QUOLAN_EXPORT int32_t quolan_file_save(QuolanObject *container, const char *path);

/* Reads the container file at `path` into a new object the caller deletes;
 * *container is NULL on failure.  The file is read as it is loaded, never
 * held in memory whole. */
QUOLAN_EXPORT int32_t quolan_file_load(const char *path, QuolanObject **container);

/* The name of a status ("StatusOk", "StatusOutOfRange", ...), or
 * "StatusUnknown" for a value that is none of them; never NULL. */
QUOLAN_EXPORT const char *quolan_status_name(int32_t status);

#ifdef __cplusplus
}
#endif

#endif /* QUOLAN_CONTAINERS_H */

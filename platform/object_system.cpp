/*
 * platform/object_system.cpp - the stand-in host object system.
 *
 * A class is an object like any other: the prototype of its instances.  Its
 * header holds the instance size, a class word and the method table that
 * every instance shares.  New on a class copies that header into a zeroed
 * block of the class's size, so an instance dispatches exactly like its class.
 *
 * Classes are never freed.  Every class made here is recorded with the size
 * of its table, for two reasons: a subclass may copy only as many slots as
 * its parent really has, and the reanimator must be able to find a class by
 * name.  The root class is static storage; everything else is calloc'd.
 *
 * No global constructors: all file-scope state is constant-initialised and
 * the root's table is filled by quolan_class_init.
 */
#include <stdlib.h>
#include <string.h>

#include "internal.h"
#include "quolan/object.h"
#include "quolan/testing.h"

using namespace quolan::platform;

namespace {

constexpr char kRootName[] = "QUOLAN";
constexpr int32_t kDefaultRootVersion = 0x203;

struct ClassRecord {
    QuolanObject *cls;  /* owned by the registry; lives until process exit */
    size_t slot_count;  /* slots in cls->methods */
};

QuolanObject root_object;
QuolanMethod root_methods[QuolanSlot_Count];
bool root_ready = false;

ClassRecord *records = nullptr;  /* created classes in creation order */
size_t record_count = 0;
size_t record_capacity = 0;

int32_t root_version = kDefaultRootVersion;
int32_t subclass_calls = 0;

/* Class words are serial numbers: unique per class and meaningful to nobody
 * else, which is all the header promises. */
uintptr_t next_class_word = 1;

/* Fills slots nobody defined.  Callers reach it through whatever signature
 * the slot has; answering through intptr_t makes the whole return register
 * -2, so a caller expecting int32_t or intptr_t alike reads -2.  A slot
 * whose signature returns a pointer sees a bogus non-NULL value, which is
 * why classes fill every pointer-returning slot they declare. */
#if defined(__clang__)
__attribute__((no_sanitize("function")))
#endif
intptr_t refused_slot(void)
{
    return kRefused;
}

const MethodKeyword base_keywords[] = {
#define QP_KEYWORD_ROW(C, slot, Name, Ret, Params, flag) \
    {#Name, static_cast<int32_t>((slot) * sizeof(QuolanMethod)), flag},
    QUOLAN_BASE_METHOD_LIST(QP_KEYWORD_ROW, _)
#undef QP_KEYWORD_ROW
    {nullptr, 0, 0},
};

bool is_class_object(const QuolanObject *object)
{
    if (object == &root_object)
        return true;
    for (size_t i = 0; i < record_count; ++i)
        if (records[i].cls == object)
            return true;
    return false;
}

bool remember_class(QuolanObject *cls, size_t slot_count)
{
    if (record_count == record_capacity) {
        size_t capacity = record_capacity ? record_capacity * 2 : 16;
        void *grown = pf_realloc(records, capacity * sizeof(ClassRecord));
        if (!grown)
            return false;
        records = static_cast<ClassRecord *>(grown);
        record_capacity = capacity;
    }
    records[record_count++] = ClassRecord{cls, slot_count};
    return true;
}

/* ---- root slots ---------------------------------------------------------- */

QuolanObject *root_New(QuolanObject *cls)
{
    if (!cls || cls->size < sizeof(QuolanObject) || !cls->methods)
        return nullptr;
    auto *object = static_cast<QuolanObject *>(pf_calloc(1, cls->size));
    if (!object)
        return nullptr;
    object->size = cls->size;
    object->class_word = cls->class_word;
    object->methods = cls->methods;
    /* Init and Delete come from the new object's table so that a subclass's
     * overrides run, not the root's. */
    const QuolanBaseMethods *methods = quolan_base_methods(object);
    if (methods->Init(object) != 0) {
        methods->Delete(object);
        return nullptr;
    }
    return object;
}

int32_t root_Init(QuolanObject *)
{
    return 0;
}

int32_t root_Delete(QuolanObject *self)
{
    if (!self)
        return 0;
    /* Classes live until the process ends (the registry points at them and
     * the root is static storage); freeing one would leave every instance
     * with a dangling table. */
    if (is_class_object(self))
        return kRefused;
    quolan_base_methods(self)->Clear(self);
    free(self);
    return 0;
}

void root_Clear(QuolanObject *) {}

int32_t root_GetVersion(QuolanObject *, const char *name)
{
    if (!name || strcmp(name, kRootName) == 0)
        return root_version;
    return 0;
}

QuolanMethod root_GetMethod(QuolanObject *self, const char *name)
{
    auto *row = static_cast<const MethodKeyword *>(
        findkeyword(name, base_keywords, sizeof(MethodKeyword)));
    if (!row || !row->flag)
        return nullptr;
    /* The object's own table, so callers get what a subclass installed. */
    return self->methods[static_cast<size_t>(row->offset) / sizeof(QuolanMethod)];
}

int32_t root_IsA(QuolanObject *, char *name)
{
    if (!name)
        return 0;
    if (name[0] == '\0') {
        memcpy(name, kRootName, sizeof kRootName);
        return 1;
    }
    return strcmp(name, kRootName) == 0 ? 1 : 0;
}

QuolanObject *root_NewFromStream(QuolanObject *cls, QuolanObject *stream, int32_t mode)
{
    if (!cls)
        return nullptr;
    QuolanObject *object = quolan_base_methods(cls)->New(cls);
    if (!object)
        return nullptr;
    const QuolanBaseMethods *methods = quolan_base_methods(object);
    if (methods->Load(object, stream, mode) != 0) {
        methods->Delete(object);
        return nullptr;
    }
    return object;
}

/* The root has no state to persist; -11 tells a caller that chained up
 * expecting the root to save or load something that nothing was done. */
int32_t root_Save(QuolanObject *, QuolanObject *, int32_t)
{
    return -11;
}

int32_t root_Load(QuolanObject *, QuolanObject *, int32_t)
{
    return -11;
}

QuolanObject *root_Copy(QuolanObject *, QuolanObject *)
{
    return nullptr;
}

int32_t root_IsEqual(QuolanObject *self, QuolanObject *other)
{
    return self == other ? 1 : 0;
}

} // namespace

/* ---- shared with the rest of the stand-in -------------------------------- */

namespace quolan::platform {

size_t table_slot_count(const QuolanObject *object)
{
    if (!object)
        return 0;
    if (root_ready && object->methods == root_methods)
        return QuolanSlot_Count;
    for (size_t i = 0; i < record_count; ++i)
        if (records[i].cls->methods == object->methods)
            return records[i].slot_count;
    return 0;
}

size_t created_class_count(void)
{
    return record_count;
}

QuolanObject *created_class_at(size_t index)
{
    return index < record_count ? records[index].cls : nullptr;
}

} // namespace quolan::platform

/* ---- exported ------------------------------------------------------------ */

extern "C" {

QuolanObject *quolan_class = nullptr;

void quolan_class_init(void)
{
    if (root_ready)
        return;
    /* Each slot is filled by name from the one list; the typed local makes
     * the compiler check every root method against its slot's signature. */
#define QP_FILL_ROOT(C, slot, Name, Ret, Params, flag) \
    {                                                  \
        Ret(*typed) Params = &root_##Name;             \
        root_methods[slot] = to_method(typed);         \
    }
    QUOLAN_BASE_METHOD_LIST(QP_FILL_ROOT, _)
#undef QP_FILL_ROOT
    root_object.size = sizeof(QuolanObject);
    root_object.class_word = next_class_word++;
    root_object.methods = root_methods;
    root_ready = true;
    quolan_class = &root_object;
}

QuolanObject *quolan_generic_subclass(QuolanObject *parent, size_t instance_size,
                                      size_t table_size)
{
    ++subclass_calls;
    if (!parent || instance_size < sizeof(QuolanObject))
        return nullptr;
    size_t parent_slots = table_slot_count(parent);
    size_t slots = table_size / sizeof(QuolanMethod);
    /* An unknown parent table has no size we could trust to copy. */
    if (parent_slots == 0 || slots < parent_slots)
        return nullptr;

    auto *cls = static_cast<QuolanObject *>(pf_calloc(1, instance_size));
    auto *table = static_cast<QuolanMethod *>(pf_malloc(slots * sizeof(QuolanMethod)));
    if (!cls || !table || !remember_class(cls, slots)) {
        free(cls);
        free(table);
        return nullptr;
    }
    memcpy(table, parent->methods, parent_slots * sizeof(QuolanMethod));
    for (size_t i = parent_slots; i < slots; ++i)
        table[i] = to_method(&refused_slot);
    cls->size = instance_size;
    cls->class_word = next_class_word++;
    cls->methods = table;
    return cls;
}

const void *findkeyword(const char *name, const void *table, size_t entry_size)
{
    if (!name || !table || entry_size < sizeof(const char *))
        return nullptr;
    for (auto *entry = static_cast<const unsigned char *>(table);; entry += entry_size) {
        const char *entry_name;
        /* memcpy: tables of any entry size reach here, so the name field
         * need not be aligned for a direct load. */
        memcpy(&entry_name, entry, sizeof entry_name);
        if (!entry_name)
            return nullptr;
        if (strcmp(entry_name, name) == 0)
            return entry;
    }
}

void quolan_testing_set_root_version(int32_t version)
{
    root_version = version;
}

int32_t quolan_testing_subclass_calls(void)
{
    return subclass_calls;
}

} // extern "C"

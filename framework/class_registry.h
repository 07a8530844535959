// One mechanism creates every class of the library, and remembers what each
// class lets the fast paths assume.
//
// A class is described by a ClassDescriptor: its name, its parent, the size
// of its instances and table, its version and the parent version it needs,
// its named-method table, a function that writes its own methods into the new
// table, and its class record.  create_class() follows the init pattern every
// class shares, and ClassFramework<D> provides the three methods each class
// answers for itself (GetVersion, GetMethod, IsA) from the same descriptor.
//
// The class record says what fast paths may take for granted about objects
// whose method table is exactly that class's own: whether they are laid out
// as Arrays, and which Array slots still do what Array's own functions do.
// It is stated once per class, registered when the class is created, and
// found from an object's table pointer.  It belongs to that exact class: a
// class a client derives (which may override anything) has no record, so
// every fast path falls back to calls through the object's own table.
//
// May touch: the object system's class creation and root slots.  Nothing
// here knows a container's fields.
#pragma once

#include <cstdint>

#include "framework/methods.h"

namespace qc {

// Versions: bits 8-31 the major part, bits 0-7 the minor part.
constexpr int32_t kRootVersion = 0x00000203;         // what the object system answers
constexpr int32_t kArrayVersion = 0x02030100;        // Array, GenSet
constexpr int32_t kArrayFamilyVersion = 0x03030100;  // Dict, ArrayTyped, ArrayDefer
constexpr int32_t kDictFamilyVersion = 0x04030100;   // DictTyped, DictDefer

// One bit per method-table slot.
constexpr uint64_t slot_bit(int slot) { return uint64_t{1} << slot; }
constexpr uint64_t kArraySlots = ((uint64_t{1} << ArraySlot_Count) - 1) & ~uint64_t{0xfff};

struct ClassRecord {
    bool array_layout = false;  // instances begin with Array's fields
    uint64_t array_slots = 0;   // Array slots (12-30) that behave as Array's own functions
};

// Where the class sits in the registry; the order puts the classes whose
// objects are met most often first.
enum class ClassId { Array, Dict, ArrayTyped, DictTyped, ArrayDefer, DictDefer, GenSet, Count };

struct ClassDescriptor {
    ClassId id;
    const char *name;                  // class name: what IsA writes and compares
    QuolanObject **class_pointer;      // the exported class pointer
    QuolanObject **parent_pointer;     // the parent's class pointer
    QuolanObject *(*parent_init)();    // creates the parent; answers it or NULL
    const char *parent_name;           // name given to the parent's GetVersion at creation
    int32_t parent_version;            // the parent's version: its major part and at least
                                       // its minor part at creation, exactly in GetVersion
    int32_t version;                   // what this class's GetVersion answers
    size_t instance_size;              // bytes, header included
    size_t slot_count;                 // method-table slots
    const MethodKeyword *keywords;     // own named methods, NULL-name terminated
    void (*fill)(QuolanObject *cls);   // writes the class's own slots
    ClassRecord record;                // what fast paths may assume of exact instances
};

// Answers the class, creating it (and its ancestors) first if need be; NULL
// when the parent is missing, its version does not fit, or creation fails.
QuolanObject *create_class(const ClassDescriptor &d);

// The parent for classes derived from the object system's root.
QuolanObject *root_class_init();

int32_t framework_get_version(const ClassDescriptor &d, QuolanObject *self, const char *name);
QuolanMethod framework_get_method(const ClassDescriptor &d, QuolanObject *self, const char *name);
int32_t framework_is_a(const ClassDescriptor &d, QuolanObject *self, char *name);

// Whether `object` answers IsA for `name` (a name of at most 15 characters;
// IsA wants a writable buffer, so the literal is copied).
bool is_a(QuolanObject *object, const char *name);

// ---- the registry of class records ----

struct RegisteredClass {
    const QuolanMethod *table;  // NULL until the class is created
    ClassRecord record;
};
extern RegisteredClass g_registered[static_cast<int>(ClassId::Count)];

// The record of `object`'s exact class; an empty record for every class the
// library did not create.
inline const ClassRecord &class_record(const QuolanObject *object)
{
    static constexpr ClassRecord kNone{};
    for (const RegisteredClass &c : g_registered)
        if (c.table == object->methods) return c.record;
    return kNone;
}

// Whether every slot in `slots` of `object` behaves as Array's own function.
inline bool keeps_array_slots(const QuolanObject *object, uint64_t slots)
{
    return (class_record(object).array_slots & slots) == slots;
}

// Per-class entry points for slots 4-6, bound to one descriptor.
template <const ClassDescriptor &D>
struct ClassFramework {
    static int32_t GetVersion(QuolanObject *self, const char *name)
    {
        return framework_get_version(D, self, name);
    }
    static QuolanMethod GetMethod(QuolanObject *self, const char *name)
    {
        return framework_get_method(D, self, name);
    }
    static int32_t IsA(QuolanObject *self, char *name) { return framework_is_a(D, self, name); }

    template <class Table>
    static void install(Table *t)
    {
        t->GetVersion = GetVersion;
        t->GetMethod = GetMethod;
        t->IsA = IsA;
    }
};

// Named-method rows from a slot list: QUOLAN_DICT_METHOD_LIST(QC_KEYWORD_ROW, _)
#define QC_KEYWORD_ROW(C, slot, Name, Ret, Params, flag) \
    {#Name, static_cast<int32_t>((slot) * sizeof(QuolanMethod)), flag},
#define QC_KEYWORD_END {nullptr, 0, 0}

// Writes every method of a slot list into a typed table `t`, taking each from
// the function named <Prefix>_<Name>:  QUOLAN_DICT_METHOD_LIST(QC_FILL_OWN, Dict)
#define QC_FILL_OWN(Prefix, slot, Name, Ret, Params, flag) t->Name = Prefix##_##Name;
// The same, taking each from the static member of `Scope` with the slot's name.
#define QC_FILL_SCOPE(Scope, slot, Name, Ret, Params, flag) t->Name = Scope::Name;

}  // namespace qc

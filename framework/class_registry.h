// One mechanism creates every class of the library, and remembers what each
// class lets the fast paths assume.
//
// A class is described by a ClassDescriptor: its name, its parent's
// descriptor, the size of its instances and table, its version, its
// named-method table and a function that writes its own methods into the new
// table.  create_class() follows the init pattern every class shares (parent
// first, the parent's version checked, the class made and filled), and
// ClassFramework<D> provides the three methods each class answers for itself
// (GetVersion, GetMethod, IsA) from the same descriptor.
//
// A class's methods are the static members of one struct named after slots
// (Init, PutAt, ...).  fill_slots<Impl, Table>() writes every slot the struct
// defines, walking the class's slot list, so a new method is one line in the
// slot list and one function; slots the struct leaves out keep the parent's.
//
// The class record says what fast paths may take for granted about objects
// whose method table is exactly that class's own: whether they are laid out
// as Arrays, and which Array slots still do what Array's own functions do.
// It is derived when the class is created, from the parent's record and the
// Array slots the class fills itself, registered against the class's table
// pointer and found from an object's table pointer.  It belongs to that exact
// class: a class a client derives (which may override anything) has no
// record, so every fast path falls back to calls through the object's own
// table.
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
constexpr uint64_t slots_below(int count) { return count >= 64 ? ~uint64_t{0} : slot_bit(count) - 1; }
// The slots Array adds to the base interface.
constexpr uint64_t kArraySlots = slots_below(ArraySlot_Count) & ~slots_below(QuolanSlot_Count);

struct ClassRecord {
    bool array_layout = false;  // instances begin with Array's fields
    uint64_t array_slots = 0;   // Array slots that behave as Array's own functions
};

// Where the class sits in the registry; the order puts the classes whose
// objects are met most often first.
enum class ClassId { Array, Dict, ArrayTyped, DictTyped, ArrayDefer, DictDefer, GenSet, Count, Root = Count };

struct ClassDescriptor {
    ClassId id;
    const char *name;                // class name: what IsA writes and compares
    QuolanObject **class_pointer;    // the exported class pointer
    QuolanObject *(*init)();         // creates the class (ancestors first); answers it or NULL
    const ClassDescriptor *parent;   // NULL for the object system's root
    int32_t version;                 // what this class's GetVersion answers; the version
                                     // its subclasses require of it
    size_t instance_size;            // bytes, header included
    size_t slot_count;               // method-table slots
    const MethodKeyword *keywords;   // own named methods, NULL-name terminated
    void (*fill)(QuolanObject *cls); // writes the class's own slots
    bool array_layout;               // instances begin with Array's fields
    uint64_t filled_array_slots;     // Array slots `fill` writes (see fill_slots)
};

// The object system's root class as a parent: created by quolan_class_init.
extern const ClassDescriptor kRootClass;

// Answers the class, creating it (and its ancestors) first if need be; NULL
// when the parent is missing, its version does not fit, or creation fails.
QuolanObject *create_class(const ClassDescriptor &d);

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

// Whether `object`'s table is one of the library's own classes.
inline bool is_library_class(const QuolanObject *object)
{
    for (const RegisteredClass &c : g_registered)
        if (c.table == object->methods) return true;
    return false;
}

// Whether `object`'s table is exactly the library's own table of class
// `id`: then every slot holds that class's own method.
inline bool is_exactly(const QuolanObject *object, ClassId id)
{
    return object->methods == g_registered[static_cast<int>(id)].table;
}

// Whether every slot in `slots` of `object` behaves as Array's own function.
inline bool keeps_array_slots(const QuolanObject *object, uint64_t slots)
{
    return (class_record(object).array_slots & slots) == slots;
}

// Per-class entry points for slots 4-6, bound to one descriptor; a class's
// method struct derives from it.
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
};

// Named-method rows from a slot list: QUOLAN_DICT_METHOD_LIST(QC_KEYWORD_ROW, _)
#define QC_KEYWORD_ROW(C, slot, Name, Ret, Params, flag) \
    {#Name, static_cast<int32_t>((slot) * sizeof(QuolanMethod)), flag},
#define QC_KEYWORD_END {nullptr, 0, 0}

// The slot list behind each typed table: Slots<Table>::fill<Impl>(t) writes
// every slot of the list that Impl defines, and leaves the others as the
// parent's table had them.  A member of Impl named like a slot but of another
// signature does not compile.
#define QC_FILL_DEFINED(Impl, slot, Name, Ret, Params, flag) \
    if constexpr (requires { &Impl::Name; }) t->Name = &Impl::Name;
template <class Table>
struct Slots;
#define QC_SLOT_LIST(Table, TABLE)                 \
    template <>                                    \
    struct Slots<Table> {                          \
        template <class Impl>                      \
        static void fill(Table *t)                 \
        {                                          \
            TABLE(QC_FILL_DEFINED, Impl)           \
        }                                          \
    };
QC_SLOT_LIST(ArrayMethods, QUOLAN_ARRAY_TABLE)
QC_SLOT_LIST(ArrayDeferMethods, QUOLAN_ARRAY_DEFER_TABLE)
QC_SLOT_LIST(ArrayTypedMethods, QUOLAN_ARRAY_TYPED_TABLE)
QC_SLOT_LIST(DictMethods, QUOLAN_DICT_TABLE)
QC_SLOT_LIST(DictDeferMethods, QUOLAN_DICT_DEFER_TABLE)
QC_SLOT_LIST(DictTypedMethods, QUOLAN_DICT_TYPED_TABLE)
QC_SLOT_LIST(GenSetMethods, QUOLAN_GENSET_TABLE)

// A descriptor's `fill`: the class's table from the struct of its methods.
template <class Impl, class Table>
void fill_slots(QuolanObject *cls)
{
    Slots<Table>::template fill<Impl>(writable_table<Table>(cls));
}

// A descriptor's `filled_array_slots`: the Array slots Impl defines.
#define QC_DEFINED_BIT(Impl, slot, Name, Ret, Params, flag) | (requires { &Impl::Name; } ? slot_bit(slot) : uint64_t{0})
template <class Impl>
constexpr uint64_t filled_array_slots()
{
    return uint64_t{0} QUOLAN_ARRAY_METHOD_LIST(QC_DEFINED_BIT, Impl);
}

// A class's descriptor from what it states: its identity, parent, version,
// named methods and layout; the table size, instance size, filler and
// filled Array slots follow from its table struct, layout and method struct.
template <class Impl, class Table, class Instance>
constexpr ClassDescriptor describe_class(ClassId id, const char *name, QuolanObject **pointer,
                                         QuolanObject *(*init)(), const ClassDescriptor &parent, int32_t version,
                                         const MethodKeyword *keywords, bool array_layout)
{
    return {.id = id,
            .name = name,
            .class_pointer = pointer,
            .init = init,
            .parent = &parent,
            .version = version,
            .instance_size = sizeof(Instance),
            .slot_count = sizeof(Table) / sizeof(QuolanMethod),
            .keywords = keywords,
            .fill = fill_slots<Impl, Table>,
            .array_layout = array_layout,
            .filled_array_slots = filled_array_slots<Impl>()};
}

}  // namespace qc

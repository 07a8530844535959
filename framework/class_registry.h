// One mechanism creates every class of the library.
//
// A class is described by a ClassDescriptor: its name, its parent, the size of
// its instances and table, its version and the parent version it needs, its
// named-method table and a function that writes its own methods into the new
// table.  create_class() follows the init pattern every class shares, and
// ClassFramework<D> provides the three methods each class answers for itself
// (GetVersion, GetMethod, IsA) from the same descriptor.
#pragma once

#include <cstdint>

#include "framework/methods.h"

namespace qc {

struct ClassDescriptor {
    const char *name;                  // class name: what IsA writes and compares
    QuolanObject **class_pointer;      // the exported class pointer
    QuolanObject **parent_pointer;     // the parent's class pointer
    QuolanObject *(*parent_init)();    // creates the parent; answers it or NULL
    const char *parent_name;           // name given to the parent's GetVersion at creation
    size_t instance_size;              // bytes, header included
    size_t slot_count;                 // method-table slots
    int32_t version;                   // what this class's GetVersion answers
    uint32_t parent_major;             // bits 8-31 the parent must answer at creation
    uint32_t parent_minor_min;         // least bits 0-7 the parent must answer at creation
    int32_t parent_version_exact;      // what the parent must answer in GetVersion
    const MethodKeyword *keywords;     // own named methods, NULL-name terminated
    void (*fill)(QuolanObject *cls);   // writes the class's own slots
};

// Answers the class, creating it (and its ancestors) first if need be; NULL
// when the parent is missing, its version does not fit, or creation fails.
QuolanObject *create_class(const ClassDescriptor &d);

// The parent for classes derived from the object system's root.
QuolanObject *root_class_init();

int32_t framework_get_version(const ClassDescriptor &d, QuolanObject *self, const char *name);
QuolanMethod framework_get_method(const ClassDescriptor &d, QuolanObject *self, const char *name);
int32_t framework_is_a(const ClassDescriptor &d, QuolanObject *self, char *name);

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

}  // namespace qc

#include "framework/class_registry.h"

#include <cstring>

namespace qc {

QuolanObject *root_class_init()
{
    quolan_class_init();
    return quolan_class;
}

QuolanObject *create_class(const ClassDescriptor &d)
{
    if (*d.class_pointer) return *d.class_pointer;
    QuolanObject *parent = d.parent_init();
    if (!parent) return nullptr;

    uint32_t v = static_cast<uint32_t>(base_of(parent)->GetVersion(parent, d.parent_name));
    if (v == 0 || (v >> 8) != d.parent_major || (v & 0xffu) < d.parent_minor_min) return nullptr;

    QuolanObject *cls =
        quolan_generic_subclass(parent, d.instance_size, d.slot_count * sizeof(QuolanMethod));
    if (!cls) return nullptr;
    // The table is complete before the pointer is published, so a reader that
    // finds the class pointer set never sees a half-filled table.
    d.fill(cls);
    *d.class_pointer = cls;
    return cls;
}

int32_t framework_get_version(const ClassDescriptor &d, QuolanObject *self, const char *name)
{
    QuolanObject *parent = *d.parent_pointer;
    if (name && std::strcmp(name, d.name) != 0) return base_of(parent)->GetVersion(self, name);
    if (base_of(parent)->GetVersion(self, nullptr) != d.parent_version_exact) return 0;
    return d.version;
}

QuolanMethod framework_get_method(const ClassDescriptor &d, QuolanObject *self, const char *name)
{
    if (name) {
        auto *row = static_cast<const MethodKeyword *>(
            findkeyword(name, d.keywords, sizeof(MethodKeyword)));
        // The object's own table, not the class's: an override in a subclass
        // is what the caller gets.
        if (row && row->flag == 1)
            return self->methods[static_cast<size_t>(row->offset) / sizeof(QuolanMethod)];
    }
    QuolanObject *parent = *d.parent_pointer;
    return base_of(parent)->GetMethod(self, name);
}

int32_t framework_is_a(const ClassDescriptor &d, QuolanObject *self, char *name)
{
    if (!name) return 0;
    if (name[0] == '\0') {
        std::memcpy(name, d.name, std::strlen(d.name) + 1);
        return 1;
    }
    if (std::strcmp(name, d.name) == 0) return 1;
    QuolanObject *parent = *d.parent_pointer;
    return base_of(parent)->IsA(self, name);
}

}  // namespace qc

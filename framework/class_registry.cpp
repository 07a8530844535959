// Class creation, the three methods every class answers for itself, and
// the registry of class records (see class_registry.h).
//
// May touch: the object system's class creation and the new class's table.
#include "framework/class_registry.h"

#include <cstring>

namespace qc {

RegisteredClass g_registered[static_cast<int>(ClassId::Count)] = {};

static QuolanObject *root_class_init()
{
    quolan_class_init();
    return quolan_class;
}

const ClassDescriptor kRootClass = {
    .id = ClassId::Root,
    .name = "QUOLAN",
    .class_pointer = &quolan_class,
    .init = root_class_init,
    .parent = nullptr,
    .version = kRootVersion,
    .instance_size = sizeof(QuolanObject),
    .slot_count = QuolanSlot_Count,
    .keywords = nullptr,
    .fill = nullptr,
    .array_layout = false,
    .filled_array_slots = 0,
};

static const ClassRecord &record_of(const ClassDescriptor &d)
{
    static constexpr ClassRecord kNone{};
    return d.id == ClassId::Root ? kNone : g_registered[static_cast<int>(d.id)].record;
}

// What fast paths may assume of the new class: laid out as its descriptor
// says; an Array slot behaves as Array's own function when the parent's did
// and the class leaves it alone.  The first class laid out as an Array is
// Array itself, whose functions are that behaviour.
static ClassRecord derive_record(const ClassDescriptor &d)
{
    if (!d.array_layout) return {};
    const ClassRecord &parent = record_of(*d.parent);
    if (!parent.array_layout) return {true, kArraySlots};
    return {true, parent.array_slots & ~d.filled_array_slots};
}

QuolanObject *create_class(const ClassDescriptor &d)
{
    if (*d.class_pointer) return *d.class_pointer;
    QuolanObject *parent = d.parent->init();
    if (!parent) return nullptr;

    const uint32_t needed = static_cast<uint32_t>(d.parent->version);
    const uint32_t v = static_cast<uint32_t>(base_of(parent)->GetVersion(parent, d.parent->name));
    if (v == 0 || (v >> 8) != (needed >> 8) || (v & 0xffu) < (needed & 0xffu)) return nullptr;

    QuolanObject *cls =
        quolan_generic_subclass(parent, d.instance_size, d.slot_count * sizeof(QuolanMethod));
    if (!cls) return nullptr;
    // The table is complete, and its record registered, before the pointer
    // is published: a reader that finds the class pointer set never sees a
    // half-filled table or an object without its record.
    d.fill(cls);
    g_registered[static_cast<int>(d.id)] = {cls->methods, derive_record(d)};
    *d.class_pointer = cls;
    return cls;
}

int32_t framework_get_version(const ClassDescriptor &d, QuolanObject *self, const char *name)
{
    QuolanObject *parent = *d.parent->class_pointer;
    if (name && std::strcmp(name, d.name) != 0) return base_of(parent)->GetVersion(self, name);
    if (base_of(parent)->GetVersion(self, nullptr) != d.parent->version) return 0;
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
    QuolanObject *parent = *d.parent->class_pointer;
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
    QuolanObject *parent = *d.parent->class_pointer;
    return base_of(parent)->IsA(self, name);
}

bool is_a(QuolanObject *object, const char *name)
{
    // Large enough for any class name an empty-buffer answer might write,
    // should `name` be empty.
    char buffer[128];
    std::strncpy(buffer, name, sizeof buffer - 1);
    buffer[sizeof buffer - 1] = '\0';
    return base_of(object)->IsA(object, buffer) != 0;
}

}  // namespace qc

#include "container_file.h"

#include <cstring>

#include "quolan/stream.h"
#include "record_walk.h"

namespace qctool {

bool create_all_classes()
{
    return array_baseclass_init() && dict_baseclass_init() && array_typedclass_init() &&
           dict_typedclass_init() && array_deferclass_init() && dict_deferclass_init() &&
           genset_baseclass_init();
}

std::string class_name(QuolanObject *object)
{
    char name[128] = "";
    if (!quolan_base_methods(object)->IsA(object, name)) return "?";
    return name;
}

QuolanObject *unframe(const std::vector<unsigned char> &bytes, FileError *error)
{
    if (bytes.size() < 12 || std::memcmp(bytes.data(), kMagic, 8) != 0) {
        *error = {StatusFailed, 0, "not a QUOLAN container file (no QUOLANCF magic)"};
        return nullptr;
    }
    QuolanObject *s = quolan_memory_stream_from(bytes.data(), bytes.size());
    if (!s) {
        *error = {StatusNoMemory, 0, "cannot make a memory stream"};
        return nullptr;
    }
    Owned stream{s};
    const StreamMethods *m = quolan_stream_methods(s);
    unsigned char magic[8];
    m->ReadBytes(s, magic, 8);
    int32_t version = m->ReadInt32(s);
    if (version != kFormatVersion) {
        *error = {StatusFailed, 8, "unsupported format version " + std::to_string(version)};
        return nullptr;
    }
    QuolanObject *cls = reanimator_get_class_from_stream(s);
    if (!cls) {
        *error = {StatusFailed, 12, "unknown or malformed class identity"};
        return nullptr;
    }
    QuolanObject *object = quolan_base_methods(cls)->New(cls);
    int32_t status = object ? quolan_base_methods(object)->Load(object, s, 0) : StatusNoMemory;
    size_t offset = quolan_stream_read_offset(s);
    if (status == StatusOk && offset != bytes.size()) {
        status = StatusFailed;
        *error = {status, offset, std::to_string(bytes.size() - offset) + " bytes after the record"};
    } else if (status != StatusOk) {
        *error = {status, offset,
                  offset >= bytes.size() ? "the file ends inside the " + class_name(cls) + " record"
                                         : "the " + class_name(cls) + " record cannot be loaded"};
    }
    if (status != StatusOk) {
        if (object) quolan_base_methods(object)->Delete(object);
        error->record_path = record_path_at(bytes, error->offset);
        return nullptr;
    }
    return object;
}

}  // namespace qctool

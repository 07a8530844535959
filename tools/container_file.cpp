#include "container_file.h"

#include <cstring>

#include "quolan/stream.h"
#include "record_walk.h"

namespace qctool {

namespace {

struct Stream {
    QuolanObject *s;
    explicit Stream(QuolanObject *stream) : s(stream) {}
    ~Stream()
    {
        if (s) quolan_base_methods(s)->Delete(s);
    }
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;
};

}  // namespace

bool create_all_classes()
{
    return array_baseclass_init() && dict_baseclass_init() && array_typedclass_init() &&
           dict_typedclass_init() && array_deferclass_init() && dict_deferclass_init() &&
           genset_baseclass_init();
}

const char *status_name(int32_t status)
{
    switch (status) {
    case StatusOk: return "StatusOk";
    case StatusFailedFlag: return "StatusFailedFlag";
    case StatusNotFound: return "StatusNotFound";
    case StatusFailed: return "StatusFailed";
    case StatusBadType: return "StatusBadType";
    case StatusLocked: return "StatusLocked";
    case StatusNoMemory: return "StatusNoMemory";
    case StatusOutOfRange: return "StatusOutOfRange";
    case StatusNeedsDouble: return "StatusNeedsDouble";
    case StatusBaseIgnored: return "StatusBaseIgnored";
    default: return "unknown status";
    }
}

std::string class_name(QuolanObject *object)
{
    char name[128] = "";
    if (!quolan_base_methods(object)->IsA(object, name)) return "?";
    return name;
}

bool frame_to(QuolanObject *object, QuolanObject *stream, FileError *error)
{
    const StreamMethods *m = quolan_stream_methods(stream);
    int32_t status = m->WriteBytes(stream, kMagic, 8) == 8 ? m->WriteInt32(stream, kFormatVersion)
                                                           : StatusFailed;
    if (status == StatusOk) status = registrar_save_quolan_class_type(object, stream);
    if (status != StatusOk) {
        *error = {status, 0, "cannot write the file header"};
        return false;
    }
    status = quolan_base_methods(object)->Save(object, stream, 0);
    if (status != StatusOk) {
        size_t size = 0;
        quolan_memory_stream_data(stream, &size);
        *error = {status, size, "the " + class_name(object) + " cannot be saved"};
        return false;
    }
    return true;
}

bool frame(QuolanObject *object, std::vector<unsigned char> *out, FileError *error)
{
    Stream s(quolan_memory_stream_new());
    if (!s.s) {
        *error = {StatusNoMemory, 0, "cannot make a memory stream"};
        return false;
    }
    if (!frame_to(object, s.s, error)) return false;
    size_t size = 0;
    const unsigned char *bytes = quolan_memory_stream_data(s.s, &size);
    out->assign(bytes, bytes + size);
    return true;
}

QuolanObject *unframe_from(QuolanObject *stream, size_t size, FileError *error)
{
    const StreamMethods *m = quolan_stream_methods(stream);
    unsigned char magic[8];
    if (size < 12 || m->ReadBytes(stream, magic, 8) != 8 || std::memcmp(magic, kMagic, 8) != 0) {
        *error = {StatusFailed, 0, "not a QUOLAN container file (no QUOLANCF magic)"};
        return nullptr;
    }
    int32_t version = m->ReadInt32(stream);
    if (version != kFormatVersion) {
        *error = {StatusFailed, 8, "unsupported format version " + std::to_string(version)};
        return nullptr;
    }
    QuolanObject *cls = reanimator_get_class_from_stream(stream);
    if (!cls) {
        *error = {StatusFailed, 12, "unknown or malformed class identity"};
        return nullptr;
    }
    QuolanObject *object = quolan_base_methods(cls)->New(cls);
    int32_t status = object ? quolan_base_methods(object)->Load(object, stream, 0) : StatusNoMemory;
    size_t offset = quolan_stream_read_offset(stream);
    if (status == StatusOk && offset != size) {
        status = StatusFailed;
        *error = {status, offset, std::to_string(size - offset) + " bytes after the record"};
    } else if (status != StatusOk) {
        *error = {status, offset,
                  offset >= size ? "the file ends inside the " + class_name(cls) + " record"
                                 : "the " + class_name(cls) + " record cannot be loaded"};
    }
    if (status != StatusOk) {
        if (object) quolan_base_methods(object)->Delete(object);
        return nullptr;
    }
    return object;
}

QuolanObject *unframe(const std::vector<unsigned char> &bytes, FileError *error)
{
    Stream s(quolan_memory_stream_from(bytes.data(), bytes.size()));
    if (!s.s) {
        *error = {StatusNoMemory, 0, "cannot make a memory stream"};
        return nullptr;
    }
    QuolanObject *object = unframe_from(s.s, bytes.size(), error);
    if (!object) error->record_path = record_path_at(bytes, error->offset);
    return object;
}

}  // namespace qctool

// The stream class is made once, from the root class, with the stream
// interface's slots; the read slots keep the answer -2 that slots past the
// root's table get.  The status word reports failed reads only, and this
// stream reads nothing, so it stays 0.
#include "output_stream.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "quolan/containers.h"
#include "quolan/stream.h"

namespace qctool {

namespace {

constexpr size_t kBuffer = size_t{1} << 20;

struct OutputStream {
    QuolanObject header;
    int32_t status;          // offset 24, read by the containers
    Output *out;             // borrowed
    unsigned char *buffer;   // kBuffer bytes, owned; released by Clear
    size_t used;
};
static_assert(offsetof(OutputStream, status) == offsetof(QuolanStream, status));

OutputStream *as_stream(QuolanObject *self) { return reinterpret_cast<OutputStream *>(self); }

bool drain(OutputStream *s)
{
    const bool ok = s->out->write(s->buffer, s->used);
    s->used = 0;
    return ok;
}

bool put(OutputStream *s, const void *data, size_t n)
{
    if (kBuffer - s->used < n) {
        if (!drain(s)) return false;
        if (n > kBuffer) return s->out->write(data, n);
    }
    std::memcpy(s->buffer + s->used, data, n);
    s->used += n;
    return true;
}

int32_t write_bytes(QuolanObject *self, const void *buffer, int32_t count)
{
    if (count <= 0 || !buffer) return 0;
    return put(as_stream(self), buffer, static_cast<size_t>(count)) ? count : 0;
}

int32_t write_byte(QuolanObject *self, int32_t byte)
{
    const auto b = static_cast<unsigned char>(byte);
    return put(as_stream(self), &b, 1) ? StatusOk : StatusFailed;
}

int32_t write_int32(QuolanObject *self, int32_t value)
{
    const auto v = static_cast<uint32_t>(value);
    const unsigned char le[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                 static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    return put(as_stream(self), le, sizeof le) ? StatusOk : StatusFailed;
}

void clear(QuolanObject *self)
{
    std::free(as_stream(self)->buffer);
    as_stream(self)->buffer = nullptr;
}

template <class Fn>
QuolanMethod method(Fn *function)
{
    return reinterpret_cast<QuolanMethod>(function);
}

QuolanObject *make_class()
{
    quolan_class_init();
    QuolanObject *cls =
        quolan_generic_subclass(quolan_class, sizeof(OutputStream), StreamSlot_Count * sizeof(QuolanMethod));
    if (!cls) return nullptr;
    cls->methods[QuolanSlot_Clear] = method(&clear);
    cls->methods[StreamSlot_WriteBytes] = method(&write_bytes);
    cls->methods[StreamSlot_WriteByte] = method(&write_byte);
    cls->methods[StreamSlot_WriteInt32] = method(&write_int32);
    return cls;
}

}  // namespace

QuolanObject *output_stream_new(Output &out)
{
    static QuolanObject *const cls = make_class();
    QuolanObject *stream = cls ? quolan_base_methods(cls)->New(cls) : nullptr;
    if (!stream) return nullptr;
    OutputStream *s = as_stream(stream);
    s->out = &out;
    s->buffer = static_cast<unsigned char *>(std::malloc(kBuffer));
    if (!s->buffer) {
        quolan_base_methods(stream)->Delete(stream);
        return nullptr;
    }
    return stream;
}

bool output_stream_flush(QuolanObject *stream) { return drain(as_stream(stream)); }

}  // namespace qctool

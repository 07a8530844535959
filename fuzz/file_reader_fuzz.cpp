// Feeds arbitrary bytes to the tool's container-file reader.  Whatever the
// bytes, unframe must answer a container or an error without reading past a
// buffer, leaking or crashing.  A container it did read is framed again,
// and that file must read back and frame to the very same bytes: what the
// tool writes, the tool reads, without drift.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "../tools/container_file.cpp"

namespace {

void drop(QuolanObject *o)
{
    if (o) quolan_base_methods(o)->Delete(o);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool created = qctool::create_all_classes();
    if (!created) __builtin_trap();

    qctool::FileError error;
    QuolanObject *first = qctool::unframe(std::vector<unsigned char>(data, data + size), &error);
    if (!first) return 0;
    std::vector<unsigned char> framed;
    if (qctool::frame(first, &framed, &error)) {
        QuolanObject *second = qctool::unframe(framed, &error);
        if (!second) __builtin_trap();
        std::vector<unsigned char> again;
        if (!qctool::frame(second, &again, &error) || again != framed) __builtin_trap();
        drop(second);
    }
    drop(first);
    return 0;
}

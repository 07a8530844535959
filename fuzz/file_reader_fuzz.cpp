// Feeds arbitrary bytes to the tool's container-file reader, which must answer
// a container or an error without reading past a buffer, leaking or crashing.
// A container it read is framed again, and that file must read back and frame
// to the very same bytes: what the tool writes, the tool reads, without drift.
#include "../tools/container_file.cpp"
#include "../tools/record_walk.cpp"  // where a refusal names its record path

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool created = qctool::create_all_classes();
    if (!created) __builtin_trap();
    qctool::FileError error;
    QuolanObject *first = qctool::unframe(std::vector<unsigned char>(data, data + size), &error);
    if (!first) return 0;
    std::vector<unsigned char> framed, again;
    if (qctool::frame(first, &framed, &error)) {
        QuolanObject *second = qctool::unframe(framed, &error);
        if (!second || !qctool::frame(second, &again, &error) || again != framed) __builtin_trap();
        quolan_base_methods(second)->Delete(second);
    }
    quolan_base_methods(first)->Delete(first);
    return 0;
}

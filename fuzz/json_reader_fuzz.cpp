// The tool's JSON reader against nlohmann's parser: both must accept exactly
// the same texts and read the same value from each (through the builder
// from-json uses), so a reader fault shows as a difference, not only as a
// crash or an out-of-bounds read.
#include "../tools/json_form.cpp"
#include "../tools/json_reader.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) return 0;  // fmemopen wants a buffer
    FILE *in = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    if (!in) return 0;
    qctool::Json mine;
    qctool::JsonError error;
    const bool read = qctool::read_form(in, &mine, &error);
    std::fclose(in);
    // The builder stops at a depth no container file reaches; nlohmann does
    // not.  A NUL byte is never JSON; nlohmann takes it for the end of the text.
    if (!read && error.message.find("nested deeper") != std::string::npos) return 0;
    if (std::memchr(data, 0, size)) {
        if (read) __builtin_trap();
        return 0;
    }
    const qctool::Json theirs = qctool::Json::parse(data, data + size, nullptr, false);
    if (read == theirs.is_discarded() || (read && mine != theirs) || (!read && error.offset > size))
        __builtin_trap();
    return 0;
}

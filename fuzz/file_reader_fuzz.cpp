// Feeds arbitrary bytes, as a file, to the library's container-file reader
// and, in memory, to the reader qctool explains refusals with: both must
// accept and refuse alike, without reading past a buffer, leaking or
// crashing.  A container read is saved again, and that file must load back
// and save to the very same bytes: what the library writes, it reads,
// without drift.
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "../tools/container_file.cpp"
#include "../tools/record_walk.cpp"  // where a refusal names its record path

namespace {

char dir[] = "/tmp/quolan-file-fuzz-XXXXXX";

void remove_files()
{
    for (const char *name : {"/in.qcf", "/out.qcf", "/again.qcf"}) std::remove((std::string(dir) + name).c_str());
    std::remove(dir);
}

std::vector<unsigned char> contents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool created = qctool::create_all_classes();
    static const std::string at = mkdtemp(dir) && std::atexit(remove_files) == 0 ? dir : "";
    if (!created || at.empty()) __builtin_trap();
    const std::string in = at + "/in.qcf", out = at + "/out.qcf", again = at + "/again.qcf";
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));

    QuolanObject *first = nullptr;
    const int32_t status = quolan_file_load(in.c_str(), &first);
    qctool::FileError error;
    qctool::Owned explained{qctool::unframe(std::vector<unsigned char>(data, data + size), &error)};
    if ((status == StatusOk) != (explained.o != nullptr) || (status == StatusOk) != (first != nullptr)) __builtin_trap();
    if (!first) return 0;
    qctool::Owned loaded{first};
    if (quolan_file_save(first, out.c_str()) != StatusOk) return 0;
    QuolanObject *second = nullptr;
    if (quolan_file_load(out.c_str(), &second) != StatusOk) __builtin_trap();
    qctool::Owned reloaded{second};
    if (quolan_file_save(second, again.c_str()) != StatusOk || contents(out) != contents(again)) __builtin_trap();
    return 0;
}

#include "cli_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace qctool {

std::string input_name(const std::string &path) { return path == "-" ? "standard input" : path; }
std::string output_name(const std::string &path) { return path == "-" ? "standard output" : path; }

bool read_input(const std::string &path, std::vector<unsigned char> *out, std::string *why)
{
    const bool standard = path == "-";
    FILE *f = standard ? stdin : std::fopen(path.c_str(), "rb");
    if (!f) {
        *why = std::string("cannot read: ") + std::strerror(errno);
        return false;
    }
    // A directory opens but does not read; say so rather than "read error".
    struct stat st {};
    if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        if (!standard) std::fclose(f);
        *why = "cannot read: is a directory";
        return false;
    }
    unsigned char chunk[65536];
    size_t n;
    out->clear();
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out->insert(out->end(), chunk, chunk + n);
    bool ok = !std::ferror(f);
    if (!ok) *why = std::string("cannot read: ") + std::strerror(errno);
    if (!standard) std::fclose(f);
    return ok;
}

static bool write_bytes(const std::string &path, const void *data, size_t size, std::string *why)
{
    if (path == "-") {
        errno = 0;
        if (std::fwrite(data, 1, size, stdout) != size || std::fflush(stdout) != 0) {
            *why = std::string("cannot write: ") + std::strerror(errno ? errno : EIO);
            return false;
        }
        return true;
    }
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        *why = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    errno = 0;
    bool ok = std::fwrite(data, 1, size, f) == size;
    int saved = errno;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        *why = std::string("cannot write: ") + std::strerror(saved ? saved : errno ? errno : EIO);
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) std::remove(path.c_str());
    }
    return ok;
}

bool write_output(const std::string &path, const std::string &bytes, std::string *why)
{
    return write_bytes(path, bytes.data(), bytes.size(), why);
}

bool write_output(const std::string &path, const std::vector<unsigned char> &bytes, std::string *why)
{
    return write_bytes(path, bytes.data(), bytes.size(), why);
}

bool copy_to_stdout(const std::string &from, std::string *why)
{
    FILE *f = std::fopen(from.c_str(), "rb");
    if (!f) {
        *why = std::string("cannot read: ") + std::strerror(errno);
        return false;
    }
    unsigned char chunk[65536];
    size_t n;
    bool ok = true;
    while (ok && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0) ok = write_bytes("-", chunk, n, why);
    if (ok && std::ferror(f)) {
        *why = std::string("cannot read: ") + std::strerror(errno);
        ok = false;
    }
    std::fclose(f);
    return ok;
}

TemporaryFile::~TemporaryFile()
{
    if (!path_.empty()) std::remove(path_.c_str());
}

bool TemporaryFile::create(std::string *why)
{
    const char *dir = std::getenv("TMPDIR");
    std::string name = std::string(dir && *dir ? dir : "/tmp") + "/qctool-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        *why = std::string("cannot make a temporary file: ") + std::strerror(errno);
        return false;
    }
    close(fd);
    path_ = name;
    return true;
}

std::string input_file(const std::string &path, std::string *why)
{
    if (path != "-") return path;
    static TemporaryFile copy;
    if (copy.path().empty()) {
        std::vector<unsigned char> bytes;
        if (!read_input(path, &bytes, why) || !copy.create(why) || !write_output(copy.path(), bytes, why)) return {};
    }
    return copy.path();
}

bool close_stdout(std::string *why)
{
    errno = 0;
    bool ok = std::fflush(stdout) == 0 && !std::ferror(stdout);
    int saved = errno;
    ok = std::fclose(stdout) == 0 && ok;
    if (!ok) *why = std::strerror(saved ? saved : errno ? errno : EIO);
    return ok;
}

}  // namespace qctool

#include "cli_io.h"

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace qctool {

std::string input_name(const std::string &path) { return path == "-" ? "standard input" : path; }
std::string output_name(const std::string &path) { return path == "-" ? "standard output" : path; }

static std::string cannot(const char *what, int error) { return std::string("cannot ") + what + ": " + std::strerror(error); }

FILE *open_input(const std::string &path, std::string *why)
{
    FILE *f = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!f) {
        *why = cannot("read", errno);
        return nullptr;
    }
    // A directory opens but does not read; say so rather than "read error".
    struct stat st {};
    if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        close_input(f);
        *why = "cannot read: is a directory";
        return nullptr;
    }
    return f;
}

void close_input(FILE *in)
{
    if (in != stdin) std::fclose(in);
}

bool read_input(const std::string &path, std::vector<unsigned char> *out, std::string *why)
{
    FILE *f = open_input(path, why);
    if (!f) return false;
    unsigned char chunk[65536];
    size_t n;
    out->clear();
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out->insert(out->end(), chunk, chunk + n);
    bool ok = !std::ferror(f);
    if (!ok) *why = cannot("read", errno);
    close_input(f);
    return ok;
}

// Only a regular file is ours to remove: never a device such as /dev/full.
static void remove_incomplete(const std::string &path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) std::remove(path.c_str());
}

Output::~Output()
{
    if (file_ && file_ != stdout) {
        std::fclose(file_);
        remove_incomplete(path_);
    }
}

bool Output::open(const std::string &path, std::string *why)
{
    path_ = path;
    file_ = path == "-" ? stdout : std::fopen(path.c_str(), "wb");
    if (!file_) *why = cannot("write", errno);
    return file_ != nullptr;
}

bool Output::write(const void *data, size_t size)
{
    errno = 0;
    if (errno_ == 0 && std::fwrite(data, 1, size, file_) != size) errno_ = errno ? errno : EIO;
    return errno_ == 0;
}

bool Output::close(std::string *why)
{
    errno = 0;
    if (std::fflush(file_) != 0 && errno_ == 0) errno_ = errno ? errno : EIO;
    if (file_ == stdout) {
        // Reported here, so not again when standard output is closed.
        std::clearerr(stdout);
    } else {
        errno = 0;
        if (std::fclose(file_) != 0 && errno_ == 0) errno_ = errno ? errno : EIO;
        if (errno_) remove_incomplete(path_);
    }
    file_ = nullptr;
    if (errno_) *why = cannot("write", errno_);
    return errno_ == 0;
}

bool write_output(const std::string &path, const void *data, size_t size, std::string *why)
{
    Output out;
    return out.open(path, why) && (out.write(data, size), out.close(why));
}

bool write_output(const std::string &path, const std::string &bytes, std::string *why)
{
    return write_output(path, bytes.data(), bytes.size(), why);
}

bool write_output(const std::string &path, const std::vector<unsigned char> &bytes, std::string *why)
{
    return write_output(path, bytes.data(), bytes.size(), why);
}

bool copy_file(const std::string &from, const std::string &to, std::string *why)
{
    FILE *in = open_input(from, why);
    if (!in) return false;
    Output out;
    if (!out.open(to, why)) {
        close_input(in);
        return false;
    }
    unsigned char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0 && out.write(chunk, n)) {
    }
    const int read_error = std::ferror(in) ? (errno ? errno : EIO) : 0;
    close_input(in);
    if (read_error) {
        *why = cannot("read", read_error);
        return false;  // the Output removes what it wrote
    }
    return out.close(why);
}

bool is_terminal(const std::string &path) { return path == "-" && isatty(STDOUT_FILENO); }

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
        *why = cannot("make a temporary file", errno);
        return false;
    }
    close(fd);
    path_ = name;
    return true;
}

std::string input_file(const std::string &path, std::string *why)
{
    if (path != "-") return path;
    // Made once: standard input reads only once.  After a failed copy the
    // command has stopped, so nobody asks again.
    static TemporaryFile copy;
    if (copy.path().empty() && (!copy.create(why) || !copy_file("-", copy.path(), why))) return {};
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

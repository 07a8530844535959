// One walker serves both questions.  It reads the records as the library
// does (record_layout.h), keeps the path of the entry it is in, and
// remembers (1) the innermost entry whose bytes reach a target offset, or
// that the end of the file cut short, and (2) the first key or member that
// repeats an earlier one of the same record.
#include "record_walk.h"

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <map>
#include <tuple>

#include "quolan/containers.h"
#include "record_layout.h"
#include "text.h"

namespace qctool {

namespace {

// One nesting level past what the library loads is enough to walk any file
// it loaded, and bounds the recursion on every other.
constexpr int kMaxDepth = 1001;

// A key as the search compares it: kind, then the number or the text.
using KeyValue = std::tuple<int32_t, double, std::string>;

// What an entry was, for labels and repeats.
struct EntryInfo {
    int32_t tag = Null;
    int32_t integer = 0;
    double real = 0;
    std::string text;
};

// A key text for a message: quoted, escaped, and cut after 40 bytes.
std::string quoted(const std::string &text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size() && i < 40; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + (text.size() > 40 ? "...\"" : "\"");
}

std::string key_label(const EntryInfo &key)
{
    if (key.tag == OwnedString) return quoted(key.text);
    if (key.tag == Integer) return std::to_string(key.integer);
    return "";
}

class Walker {
public:
    Walker(const std::vector<unsigned char> &bytes, size_t target) : bytes_(bytes), target_(target) {}

    void run()
    {
        if (bytes_.size() < 12) return;
        pos_ = 12;  // magic and format version
        container(0);
    }

    std::string located;
    std::optional<RecordRepeat> repeat;

private:
    bool take(size_t n, const unsigned char **p)
    {
        if (bytes_.size() - pos_ < n) {
            pos_ = bytes_.size();
            return false;
        }
        *p = bytes_.data() + pos_;
        pos_ += n;
        return true;
    }
    bool i32(int32_t *v)
    {
        const unsigned char *p = nullptr;
        if (!take(4, &p)) return false;
        *v = static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                                  uint32_t{p[3]} << 24);
        return true;
    }

    std::string path_text() const
    {
        std::string out;
        for (const std::string &segment : path_) out += (out.empty() ? "" : ", ") + segment;
        return out;
    }

    // The class identity and every field of its record.
    bool container(int depth)
    {
        int32_t length = 0;
        const unsigned char *name = nullptr;
        if (depth >= kMaxDepth || !i32(&length) || length < 1 || length > 127 ||
            !take(static_cast<size_t>(length), &name))
            return false;
        const std::string cls(reinterpret_cast<const char *>(name), static_cast<size_t>(length));
        const Layout *layout = find_layout(cls);
        if (!layout) return false;
        std::vector<EntryInfo> keys;
        for (const Field &f : layout->fields) {
            const unsigned char *p = nullptr;
            bool ok = f.kind == FieldKind::LockByte    ? take(1, &p)
                      : f.kind == FieldKind::AccessInt ? take(4, &p)
                                                       : record(cls, f.name, depth, &keys);
            if (!ok) return false;
        }
        return true;
    }

    std::string label(const std::string &cls, std::string_view field, int32_t i,
                      const std::vector<EntryInfo> &keys) const
    {
        const std::string at = std::to_string(i);
        if (field == "types") return cls + " type list " + at;
        if (field == "keys") return cls + " key at position " + at;
        if (field == "members") return cls + " member " + at;
        if (field == "values") {
            std::string key = static_cast<size_t>(i) < keys.size() ? key_label(keys[static_cast<size_t>(i)]) : "";
            return key.empty() ? cls + " position " + at + " (no key)" : cls + " entry " + key;
        }
        return cls + " position " + at;
    }

    // An element record; the keys record also fills `keys` for the labels of
    // the values that follow it.
    bool record(const std::string &cls, std::string_view field, int depth, std::vector<EntryInfo> *keys)
    {
        int32_t count = 0;
        if (!i32(&count)) return false;
        const bool searched = field == "keys" || field == "members";
        std::map<KeyValue, int32_t> seen;
        for (int32_t i = 0; i < count; ++i) {
            const size_t start = pos_;
            path_.push_back(label(cls, field, i, *keys));
            EntryInfo info;
            const bool ok = entry(depth, &info);
            const size_t end = ok ? pos_ : bytes_.size();
            if (located.empty() && start <= target_ && target_ <= end && (!ok || start < target_))
                located = path_text();
            if (ok && searched) check_repeat(info, i, start, field, &seen);
            path_.pop_back();
            if (!ok) return false;
            if (field == "keys") keys->push_back(std::move(info));
        }
        return true;
    }

    void check_repeat(const EntryInfo &info, int32_t position, size_t start, std::string_view field,
                      std::map<KeyValue, int32_t> *seen)
    {
        KeyValue key;
        switch (info.tag) {
        case Integer: key = {Integer, info.integer, ""}; break;
        case Double:
            if (std::isnan(info.real)) return;
            key = {Double, info.real == 0 ? 0.0 : info.real, ""};  // -0.0 == 0.0
            break;
        case OwnedString: key = {String, 0, info.text}; break;
        default: return;
        }
        auto [it, fresh] = seen->emplace(key, position);
        if (fresh || repeat) return;
        std::string what = field == "keys" ? "key" : "member";
        char text[kDoubleTextSize];
        std::string shown = info.tag == OwnedString ? quoted(info.text)
                            : info.tag == Integer   ? std::to_string(info.integer)
                                                    : "Double " + std::string(double_text(info.real, text));
        repeat = RecordRepeat{start, path_text(),
                              what + " " + shown + " repeats the " + what + " at position " +
                                  std::to_string(it->second) + "; the library never holds a " + what +
                                  " twice"};
    }

    bool entry(int depth, EntryInfo *info)
    {
        const unsigned char *p = nullptr;
        if (!i32(&info->tag)) return false;
        switch (info->tag) {
        case Null: return true;
        case Integer: return i32(&info->integer);
        case Double:
            if (!take(8, &p)) return false;
            std::memcpy(&info->real, p, 8);
            return true;
        case OwnedString: {
            int32_t length = 0;
            if (!i32(&length) || length < 0 || length == INT32_MAX ||
                !take(static_cast<size_t>(length) + 1, &p))
                return false;
            info->text.assign(reinterpret_cast<const char *>(p), static_cast<size_t>(length));
            return p[length] == 0 && info->text.find('\0') == std::string::npos;
        }
        case OwnedObject: return container(depth + 1);
        case Boolean: return take(1, &p);
        default: return false;
        }
    }

    const std::vector<unsigned char> &bytes_;
    size_t target_;
    size_t pos_ = 0;
    std::vector<std::string> path_;
};

}  // namespace

std::string record_path_at(const std::vector<unsigned char> &file, size_t offset)
{
    Walker w(file, offset);
    w.run();
    return w.located;
}

std::optional<RecordRepeat> find_repeat(const std::vector<unsigned char> &file)
{
    Walker w(file, SIZE_MAX);
    w.run();
    return w.repeat;
}

}  // namespace qctool

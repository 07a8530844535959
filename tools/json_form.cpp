// The JSON form, both directions, driven by one table of record layouts.
//
// A saved container is its class identity (int32 length, name bytes) and
// then its record: a fixed sequence of fields per class (kLayouts below).
// A field is an element record (int32 count, then one tagged entry per
// position), the lock byte or the access int32.  An entry of tag 6 nests a
// container the same way, so one pair of recursive walkers covers every
// class: get_* reads bytes into JSON, put_* writes JSON as bytes.  Each
// JSON shape stands for exactly one byte sequence and back:
//
//   entry          JSON
//   0 Null         null
//   1 Integer      integer
//   2 Double       {"Double": the 8 record bytes in hex, "approx": number}
//   4 String       string, or {"StringHex": hex} when not valid UTF-8
//   6 Object       {"class": name, ...that class's fields...}
//   9 Boolean      false / true for bytes 0 / 1, else {"Boolean": byte}
//
// A record with a negative count (which loads as empty) is {"count": n};
// every other record is a JSON array.  "approx" is for readers only and is
// ignored on input: the hex digits are the value.
#include "json_form.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>

#include "container_file.h"
#include "record_layout.h"
#include "text.h"

namespace qctool {

namespace {

// The library refuses deeper nesting on load, so nothing deeper is a file;
// the limit also keeps hostile JSON from exhausting our stack.
constexpr int kMaxDepth = 1000;

// Where a value sits in the JSON, kept as a chain of stack frames and
// rendered only when something is refused.
struct Path {
    const Path *up = nullptr;
    std::string_view key;  // member name; empty for an array index
    size_t index = 0;

    Path member(std::string_view name) const { return {this, name, 0}; }
    Path at(size_t i) const { return {this, {}, i}; }
    std::string segment() const
    {
        // Appended piece by piece: GCC 12 at -O3 mistakes a chain of
        // operator+ on temporaries for an overlapping copy (-Wrestrict).
        std::string s(1, key.empty() ? '[' : '.');
        if (!key.empty()) return s.append(key);
        s.append(std::to_string(index));
        s.push_back(']');
        return s;
    }
    // A path into deep nesting keeps its ends and says how much it left out.
    std::string str() const
    {
        std::vector<const Path *> chain;
        for (const Path *p = this; p->up; p = p->up) chain.push_back(p);
        const size_t n = chain.size(), ends = 8;
        std::string out = "$";
        for (size_t i = 0; i < n; ++i) {
            if (n > 3 * ends && i >= ends && i < n - ends) {
                if (i == ends) out += "...(" + std::to_string(n - 2 * ends) + " more)...";
                continue;
            }
            out += chain[n - 1 - i]->segment();
        }
        return out;
    }
};

[[noreturn]] void refuse(const Path &path, const std::string &why)
{
    throw JsonFormError(path.str() + ": " + why);
}

std::string hex(const unsigned char *bytes, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

// ---------------------------------------------------------------- bytes -> JSON

// The file was loaded by the library before we walk it, so running short
// here means the form and the library read the layout differently.
struct In {
    const std::vector<unsigned char> &bytes;
    size_t pos = 0;

    const unsigned char *take(size_t n)
    {
        if (bytes.size() - pos < n)
            throw std::logic_error("the record ends early at byte " + std::to_string(pos));
        const unsigned char *p = bytes.data() + pos;
        pos += n;
        return p;
    }
    unsigned u8() { return *take(1); }
    int32_t i32()
    {
        const unsigned char *p = take(4);
        return static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                                    uint32_t{p[3]} << 24);
    }
};

Json get_container(In &in);

Json approx(double d)
{
    if (std::isfinite(d)) return d;
    if (std::isnan(d)) return "NaN";
    return d > 0 ? "Infinity" : "-Infinity";
}

Json get_element(In &in)
{
    int32_t tag = in.i32();
    switch (tag) {
    case Null: return nullptr;
    case Integer: return in.i32();
    case Double: {
        const unsigned char *raw = in.take(8);
        double d;
        std::memcpy(&d, raw, 8);  // the record holds the double as memory holds it
        Json j = Json::object();
        j["Double"] = hex(raw, 8);
        j["approx"] = approx(d);
        return j;
    }
    case OwnedString: {
        int32_t length = in.i32();
        if (length < 0) throw std::logic_error("negative string length");
        const unsigned char *text = in.take(static_cast<size_t>(length) + 1);
        auto n = static_cast<size_t>(length);
        if (valid_utf8(text, n)) return std::string(reinterpret_cast<const char *>(text), n);
        return Json{{"StringHex", hex(text, n)}};
    }
    case OwnedObject: return get_container(in);
    case Boolean: {
        unsigned byte = in.u8();
        if (byte <= 1) return byte == 1;
        return Json{{"Boolean", byte}};
    }
    default: throw std::logic_error("entry tag " + std::to_string(tag) + " has no JSON form");
    }
}

Json get_record(In &in)
{
    int32_t count = in.i32();
    if (count < 0) return Json{{"count", count}};
    Json entries = Json::array();
    for (int32_t i = 0; i < count; ++i) entries.push_back(get_element(in));
    return entries;
}

Json get_container(In &in)
{
    int32_t length = in.i32();
    if (length < 0) throw std::logic_error("negative class name length");
    const unsigned char *raw = in.take(static_cast<size_t>(length));
    std::string name(reinterpret_cast<const char *>(raw), static_cast<size_t>(length));
    const Layout *layout = find_layout(name);
    if (!layout) throw std::logic_error("class " + name + " has no JSON form");
    Json j = Json::object();
    j["class"] = name;
    for (const Field &f : layout->fields) {
        switch (f.kind) {
        case FieldKind::Record: j[f.name] = get_record(in); break;
        case FieldKind::LockByte: j[f.name] = in.u8(); break;
        case FieldKind::AccessInt: j[f.name] = in.i32(); break;
        }
    }
    return j;
}

// ---------------------------------------------------------------- JSON -> bytes

struct Out {
    std::vector<unsigned char> bytes;
    size_t locate = 0;  // json_path_at's byte offset; 0 when not locating
    std::string located;

    void u8(unsigned v) { bytes.push_back(static_cast<unsigned char>(v)); }
    void i32(int64_t v)
    {
        auto u = static_cast<uint32_t>(v);
        for (int shift = 0; shift < 32; shift += 8) u8((u >> shift) & 0xff);
    }
    void raw(const void *p, size_t n)
    {
        auto *c = static_cast<const unsigned char *>(p);
        bytes.insert(bytes.end(), c, c + n);
    }
    // Inner entries finish first, so the first entry to claim the offset is
    // the innermost one.
    void claim(size_t start, const Path &path)
    {
        if (locate && located.empty() && start < locate && locate <= bytes.size())
            located = path.str();
    }
};

int64_t integer(const Json &j, const Path &path, int64_t lo, int64_t hi)
{
    if (!j.is_number_integer()) refuse(path, "expected an integer from " + std::to_string(lo) +
                                                 " to " + std::to_string(hi));
    // Non-negative literals parse as unsigned and may exceed int64_t.
    bool fits = j.is_number_unsigned()
                    ? hi >= 0 && j.get<uint64_t>() <= static_cast<uint64_t>(hi) &&
                          (lo <= 0 || j.get<uint64_t>() >= static_cast<uint64_t>(lo))
                    : j.get<int64_t>() >= lo && j.get<int64_t>() <= hi;
    if (!fits)
        refuse(path, j.dump() + " is out of range " + std::to_string(lo) + " to " + std::to_string(hi));
    return j.get<int64_t>();
}

std::vector<unsigned char> unhex(const Json &j, const Path &path, size_t want)
{
    std::string what = want ? std::to_string(2 * want) + " hex digits" : "hex digits";
    if (!j.is_string()) refuse(path, "expected a string of " + what);
    const std::string &s = j.get_ref<const std::string &>();
    if (s.size() % 2 != 0 || (want && s.size() != 2 * want))
        refuse(path, "expected " + what + ", found " + std::to_string(s.size()) + " characters");
    std::vector<unsigned char> out(s.size() / 2);
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (v < 0) refuse(path, "'" + std::string(1, c) + "' is not a hex digit");
        out[i / 2] = static_cast<unsigned char>(out[i / 2] << 4 | v);
    }
    return out;
}

void only_members(const Json &j, const Path &path, std::initializer_list<std::string_view> allowed,
                  const std::string &what)
{
    for (const auto &[key, value] : j.items()) {
        bool known = false;
        for (std::string_view name : allowed) known = known || key == name;
        if (!known) refuse(path.member(key), "not a member of " + what);
    }
}

void put_string(const unsigned char *text, size_t n, const Path &path, Out &out)
{
    if (std::memchr(text, 0, n)) refuse(path, "a string cannot hold a NUL byte");
    if (n >= static_cast<size_t>(INT32_MAX)) refuse(path, "string too long");
    out.i32(OwnedString);
    out.i32(static_cast<int64_t>(n));
    out.raw(text, n);
    out.u8(0);
}

void put_container(const Json &j, const Path &path, Out &out, int depth);

void put_entry_object(const Json &j, const Path &path, Out &out, int depth)
{
    if (j.contains("class")) {
        out.i32(OwnedObject);
        put_container(j, path, out, depth + 1);
    } else if (j.contains("Double")) {
        only_members(j, path, {"Double", "approx"}, "a Double entry");
        std::vector<unsigned char> raw = unhex(j["Double"], path.member("Double"), 8);
        out.i32(Double);
        out.raw(raw.data(), raw.size());
    } else if (j.contains("Boolean")) {
        only_members(j, path, {"Boolean"}, "a Boolean entry");
        auto byte = integer(j["Boolean"], path.member("Boolean"), 0, 255);
        out.i32(Boolean);
        out.u8(static_cast<unsigned>(byte));
    } else if (j.contains("StringHex")) {
        only_members(j, path, {"StringHex"}, "a StringHex entry");
        std::vector<unsigned char> text = unhex(j["StringHex"], path.member("StringHex"), 0);
        put_string(text.data(), text.size(), path, out);
    } else {
        refuse(path, "an entry object needs \"class\", \"Double\", \"Boolean\" or \"StringHex\"");
    }
}

void put_element(const Json &j, const Path &path, Out &out, int depth)
{
    size_t start = out.bytes.size();
    switch (j.type()) {
    case Json::value_t::null: out.i32(Null); break;
    case Json::value_t::boolean:
        out.i32(Boolean);
        out.u8(j.get<bool>() ? 1 : 0);
        break;
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
        out.i32(Integer);
        out.i32(integer(j, path, INT32_MIN, INT32_MAX));
        break;
    case Json::value_t::number_float:
        refuse(path, "an Integer has no fraction or exponent; a Double is {\"Double\": \"<16 hex digits>\"}");
    case Json::value_t::string: {
        const std::string &s = j.get_ref<const std::string &>();
        put_string(reinterpret_cast<const unsigned char *>(s.data()), s.size(), path, out);
        break;
    }
    case Json::value_t::object: put_entry_object(j, path, out, depth); break;
    default: refuse(path, "an entry is null, a number, a boolean, a string or an object");
    }
    out.claim(start, path);
}

void put_record(const Json &j, const Path &path, Out &out, int depth)
{
    if (j.is_object() && j.size() == 1 && j.contains("count")) {
        out.i32(integer(j["count"], path.member("count"), INT32_MIN, -1));
        return;
    }
    if (!j.is_array()) refuse(path, "expected an array of entries");
    if (j.size() > static_cast<size_t>(INT32_MAX)) refuse(path, "too many entries");
    out.i32(static_cast<int64_t>(j.size()));
    for (size_t i = 0; i < j.size(); ++i) put_element(j[i], path.at(i), out, depth);
}

std::string field_list(const Layout &layout)
{
    std::string names = "class";
    for (const Field &f : layout.fields) names += std::string(", ") + f.name;
    return names;
}

const Layout &layout_of(const Json &j, const Path &path)
{
    if (!j.is_object()) refuse(path, "expected a container: an object with \"class\"");
    auto it = j.find("class");
    if (it == j.end()) refuse(path, "a container needs \"class\"");
    Path at = path.member("class");
    if (!it->is_string()) refuse(at, "expected a class name");
    const std::string &name = it->get_ref<const std::string &>();
    if (has_no_saved_form(name))
        refuse(at, name + " has no saved form: its Save answers StatusFailed (-2)");
    const Layout *layout = find_layout(name);
    if (!layout)
        refuse(at, "unknown class \"" + name + "\"; saved classes are Array, ArrayTyped, Dict, DictTyped and GenSet");
    return *layout;
}

void put_container(const Json &j, const Path &path, Out &out, int depth)
{
    if (depth > kMaxDepth) refuse(path, "containers nested deeper than 1000 levels cannot be loaded");
    const Layout &layout = layout_of(j, path);
    for (const auto &[key, value] : j.items()) {
        bool known = key == "class";
        for (const Field &f : layout.fields) known = known || key == f.name;
        if (!known)
            refuse(path.member(key), "not a field of " + std::string(layout.class_name) + " (" +
                                         field_list(layout) + ")");
    }
    out.i32(static_cast<int64_t>(layout.class_name.size()));
    out.raw(layout.class_name.data(), layout.class_name.size());
    for (const Field &f : layout.fields) {
        auto it = j.find(f.name);
        if (it == j.end()) refuse(path, std::string(layout.class_name) + " needs \"" + f.name + "\"");
        Path at = path.member(f.name);
        switch (f.kind) {
        case FieldKind::Record: put_record(*it, at, out, depth); break;
        case FieldKind::LockByte: out.u8(static_cast<unsigned>(integer(*it, at, 0, 255))); break;
        case FieldKind::AccessInt: out.i32(integer(*it, at, INT32_MIN, INT32_MAX)); break;
        }
    }
}

Out encode(const Json &form, size_t locate)
{
    Out out;
    out.locate = locate;
    out.raw(kMagic, sizeof kMagic);
    out.i32(kFormatVersion);
    put_container(form, Path{}, out, 1);
    return out;
}

// Builds the form as the reader meets it.  Only the innermost open value
// takes new items, so the pointers to the open ones stay valid.
class FormBuilder final : public JsonEvents {
public:
    explicit FormBuilder(Json *root) : root_(root) {}

    bool begin_object() override { return open(Json::object()); }
    bool begin_array() override { return open(Json::array()); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }
    bool key(const char *text, size_t length, bool) override
    {
        key_.assign(text, length);
        return true;
    }
    bool string(const char *text, size_t length, bool) override { return add(std::string(text, length)) != nullptr; }
    bool number(const char *text, size_t length, bool integral) override
    {
        int64_t i = 0;
        uint64_t u = 0;
        double d = 0;
        if (integral && std::from_chars(text, text + length, i).ec == std::errc()) return add(i) != nullptr;
        if (integral && std::from_chars(text, text + length, u).ec == std::errc()) return add(u) != nullptr;
        if (json_number_to_double(text, length, &d)) return add(d) != nullptr;
        refusal = "a number beyond the range of a double";
        return false;
    }
    bool boolean(bool value) override { return add(value) != nullptr; }
    bool null() override { return add(nullptr) != nullptr; }

private:
    Json *add(Json value)
    {
        if (open_.empty()) return &(*root_ = std::move(value));
        Json &top = *open_.back();
        if (top.is_array()) {
            top.push_back(std::move(value));
            return &top.back();
        }
        return &(top[key_] = std::move(value));
    }
    bool open(Json value)
    {
        // Each container of the form is two levels of JSON.
        if (open_.size() >= 2 * static_cast<size_t>(kMaxDepth) + 8) {
            refusal = "nested deeper than 1000 levels of containers: no container file holds that";
            return false;
        }
        open_.push_back(add(std::move(value)));
        return true;
    }
    bool close()
    {
        open_.pop_back();
        return true;
    }

    Json *root_;
    std::vector<Json *> open_;
    std::string key_;
};

}  // namespace

bool read_form(FILE *in, Json *form, JsonError *error)
{
    FormBuilder builder(form);
    return read_json(in, builder, error);
}

bool has_no_saved_form(std::string_view class_name)
{
    return class_name == "ArrayDefer" || class_name == "DictDefer";
}

Json file_to_json(const std::vector<unsigned char> &file)
{
    In in{file};
    if (std::memcmp(in.take(sizeof kMagic), kMagic, sizeof kMagic) != 0 || in.i32() != kFormatVersion)
        throw std::logic_error("not a container file of format 1");
    Json form = get_container(in);
    if (in.pos != file.size()) throw std::logic_error("bytes after the record");
    if (json_to_file(form) != file) throw std::logic_error("the JSON form does not rebuild the file");
    return form;
}

std::vector<unsigned char> json_to_file(const Json &form) { return encode(form, 0).bytes; }

std::string json_path_at(const Json &form, size_t offset)
{
    Out out = encode(form, offset);
    return out.located.empty() ? "$" : out.located;
}

}  // namespace qctool

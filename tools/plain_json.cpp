// Import builds containers straight from nlohmann's SAX events: its parser
// keeps its own stack, and ours is a vector, so no input can exhaust the
// call stack.  Export reads the file's lossless form (json_form.h), which
// holds every position the file holds, Null ones at the end included, so
// that `import` then `export` gives back the same JSON value.
#include "plain_json.h"

#include <cmath>
#include <cstring>
#include <iterator>

#include "json_form.h"

namespace qctool {

namespace {

// The library loads at most 1000 nested containers (framework/nesting.h).
constexpr size_t kMaxNesting = 1000;

// A char iterator that publishes how far the parser has read, so a refusal
// from a SAX event can name its byte offset.
struct CountingIterator {
    using iterator_category = std::forward_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char *;
    using reference = const char &;

    const char *p = nullptr;
    const char *base = nullptr;
    size_t *reached = nullptr;

    reference operator*() const { return *p; }
    CountingIterator &operator++()
    {
        ++p;
        *reached = static_cast<size_t>(p - base);
        return *this;
    }
    CountingIterator operator++(int)
    {
        CountingIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const CountingIterator &other) const { return p == other.p; }
};

using Sax = nlohmann::json_sax<nlohmann::json>;

class Builder final : public Sax {
public:
    explicit Builder(const size_t *reached) : reached_(reached) {}
    Builder(const Builder &) = delete;
    Builder &operator=(const Builder &) = delete;
    ~Builder() override
    {
        if (root_) quolan_base_methods(root_)->Delete(root_);
    }

    QuolanObject *take_root() { return std::exchange(root_, nullptr); }
    ImportError error;

    bool null() override { return put(nullptr, Null, "null"); }
    bool boolean(bool v) override
    {
        int32_t b = v ? 1 : 0;
        return put(&b, Boolean, v ? "true" : "false");
    }
    bool number_integer(number_integer_t v) override
    {
        if (v >= INT32_MIN && v <= INT32_MAX) {
            auto i = static_cast<int32_t>(v);
            return put(&i, Integer, "number");
        }
        return number_float(static_cast<double>(v), "");
    }
    bool number_unsigned(number_unsigned_t v) override
    {
        if (v <= INT32_MAX) {
            auto i = static_cast<int32_t>(v);
            return put(&i, Integer, "number");
        }
        return number_float(static_cast<double>(v), "");
    }
    bool number_float(number_float_t v, const string_t &) override { return put(&v, Double, "number"); }
    bool string(string_t &v) override
    {
        if (v.find('\0') != string_t::npos) return refuse("a string holding U+0000 cannot be held: texts end at NUL");
        return put(v.data(), OwnedString, "string");
    }
    bool binary(binary_t &) override { return refuse("binary values are not JSON"); }
    bool start_object(std::size_t) override { return open(dict_baseclass); }
    bool key(string_t &k) override
    {
        if (k.find('\0') != string_t::npos) return refuse("a member name holding U+0000 cannot be a key: texts end at NUL");
        open_.back().key = k;
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(array_baseclass); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t position, const std::string &, const nlohmann::detail::exception &ex) override
    {
        error = {position > 0 ? position - 1 : 0, std::string("not JSON: ") + ex.what()};
        return false;
    }

private:
    struct Open {
        QuolanObject *object;  // owned by its parent, or the root
        bool dict;
        std::string key;
    };

    bool refuse(const std::string &why)
    {
        error = {*reached_ > 0 ? *reached_ - 1 : 0, why};
        return false;
    }

    // Puts into the innermost open container: appended to an array, under
    // the current member name in an object (a repeated name: the last wins).
    bool put(void *value, int32_t tag, const char *what)
    {
        if (open_.empty()) {
            return refuse(std::string("a top-level ") + what +
                          " is not a container: a container file holds an array or an object");
        }
        Open &top = open_.back();
        int32_t status = top.dict ? quolan_dict_methods(top.object)->PutStringKey(top.object, value, tag, top.key.c_str())
                                  : quolan_array_methods(top.object)->PutAt(top.object, value, tag, -2);
        return status == StatusOk || refuse("the container refused the value (status " + std::to_string(status) + ")");
    }

    bool open(QuolanObject *cls)
    {
        if (open_.size() >= kMaxNesting)
            return refuse("nested deeper than 1000 levels: the library loads no deeper container");
        QuolanObject *made = cls ? quolan_base_methods(cls)->New(cls) : nullptr;
        if (!made) return refuse("cannot make a container");
        if (open_.empty()) {
            root_ = made;
        } else if (!put(made, OwnedObject, "container")) {
            quolan_base_methods(made)->Delete(made);
            return false;
        }
        open_.push_back({made, cls == dict_baseclass, {}});
        return true;
    }

    bool close()
    {
        open_.pop_back();
        return true;
    }

    const size_t *reached_;
    QuolanObject *root_ = nullptr;
    std::vector<Open> open_;
};

// ---------------------------------------------------------------- export

struct Writer {
    std::string out;
    size_t nulled = 0;

    void indent(size_t depth) { out.append(2 * depth, ' '); }

    void text(const std::string &s)
    {
        out += Json(s).dump(-1, ' ', false, Json::error_handler_t::replace);
    }

    static std::vector<unsigned char> unhex(const std::string &hex)
    {
        std::vector<unsigned char> bytes(hex.size() / 2);
        for (size_t i = 0; i < hex.size(); ++i) {
            char c = hex[i];
            int v = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
            bytes[i / 2] = static_cast<unsigned char>(bytes[i / 2] << 4 | v);
        }
        return bytes;
    }
    static double real(const Json &entry)
    {
        std::vector<unsigned char> raw = unhex(entry["Double"].get<std::string>());
        double d;
        std::memcpy(&d, raw.data(), sizeof d);
        return d;
    }
    static std::string string_of(const Json &entry)
    {
        if (entry.is_string()) return entry.get<std::string>();
        std::vector<unsigned char> raw = unhex(entry["StringHex"].get<std::string>());
        return {raw.begin(), raw.end()};
    }

    // A key as a member name: text as it is, other kinds as their JSON text.
    std::string name_of(const Json &key)
    {
        if (key.is_string() || key.contains("StringHex")) return string_of(key);
        Writer inner;
        inner.value(key, 0, false);
        nulled += inner.nulled;
        return inner.out;
    }

    void value(const Json &entry, size_t depth, bool pretty)
    {
        if (entry.is_null() || entry.is_boolean() || entry.is_number_integer()) {
            out += entry.dump();
        } else if (entry.is_string() || entry.contains("StringHex")) {
            text(string_of(entry));
        } else if (entry.contains("Boolean")) {
            out += entry["Boolean"].get<int>() != 0 ? "true" : "false";
        } else if (entry.contains("Double")) {
            double d = real(entry);
            if (!std::isfinite(d)) ++nulled;
            out += Json(d).dump();  // NaN and the infinities print as null
        } else {
            container(entry, depth, pretty);
        }
    }

    // Opens a line for the next item of a container being written.
    void item(bool &first, size_t depth, bool pretty)
    {
        if (!first) out += ',';
        first = false;
        if (pretty) {
            out += '\n';
            indent(depth + 1);
        }
    }
    void finish(bool first, size_t depth, bool pretty, char close)
    {
        if (!first && pretty) {
            out += '\n';
            indent(depth);
        }
        out += close;
    }

    void container(const Json &form, size_t depth, bool pretty)
    {
        const std::string &cls = form["class"].get_ref<const std::string &>();
        bool first = true;
        if (cls == "Dict" || cls == "DictTyped") {
            const Json &keys = form["keys"], &values = form["values"];
            out += '{';
            for (size_t i = 0; keys.is_array() && i < keys.size(); ++i) {
                if (keys[i].is_null()) continue;  // a free position
                item(first, depth, pretty);
                text(name_of(keys[i]));
                out += pretty ? ": " : ":";
                if (values.is_array() && i < values.size()) value(values[i], depth + 1, pretty);
                else out += "null";
            }
            finish(first, depth, pretty, '}');
            return;
        }
        const bool set = cls == "GenSet";
        const Json &entries = form[set ? "members" : "elements"];
        out += '[';
        for (size_t i = 0; entries.is_array() && i < entries.size(); ++i) {
            if (set && entries[i].is_null()) continue;  // a free position
            item(first, depth, pretty);
            value(entries[i], depth + 1, pretty);
        }
        finish(first, depth, pretty, ']');
    }
};

}  // namespace

QuolanObject *import_json(const std::vector<unsigned char> &text, ImportError *error)
{
    size_t reached = 0;
    auto *base = reinterpret_cast<const char *>(text.data());
    CountingIterator first{base, base, &reached}, last{base + text.size(), base, &reached};
    Builder builder(&reached);
    bool ok = false;
    try {
        ok = Json::sax_parse(first, last, &builder);
    } catch (const std::exception &e) {
        builder.error = {reached, std::string("cannot read the JSON: ") + e.what()};
    }
    QuolanObject *root = ok ? builder.take_root() : nullptr;
    if (!root) *error = builder.error;
    return root;
}

std::string export_json(const std::vector<unsigned char> &file, size_t *nulled)
{
    Writer w;
    w.value(file_to_json(file), 0, true);
    *nulled = w.nulled;
    return w.out + "\n";
}

}  // namespace qctool

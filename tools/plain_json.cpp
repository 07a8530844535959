// Import puts each value into its container as the reader meets it; the
// containers still open are a stack, so no input can exhaust the call
// stack.  Export reads the file's records, not what a load makes of them:
// the records hold every position, Null ones at the end included, so that
// `import` then `export` gives back the same JSON value.  Both stream: the
// text in, and the JSON out, pass through a buffer, never whole.
#include "plain_json.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <string_view>
#include <utility>
#include <vector>

#include "container_file.h"
#include "record_layout.h"
#include "text.h"

namespace qctool {

namespace {

// The library loads at most 1000 nested containers (framework/nesting.h).
constexpr size_t kMaxNesting = 1000;

// An import is mostly the containers' memory being touched for the first
// time: a page fault per 4 KiB was a third of the time of an import of
// 186,000 objects.  So the heap grows in steps of kHeapStep, and each step
// is faulted in with one call as soon as the heap has it, well before the
// containers reach it.  That took 0.07 s off an import of 1.2 s, for at
// most one step of memory left unused at the end.  Where the call is not
// known (before Linux 5.14) or the heap is not the break, nothing changes.
class HeapGrowth {
public:
    HeapGrowth()
    {
        mallopt(M_TOP_PAD, static_cast<int>(kHeapStep));
        faulted_ = static_cast<char *>(sbrk(0));
    }
    // Cheap enough to call for every value.
    void keep_up()
    {
        if ((++calls_ & 4095) != 0) return;
        auto *top = static_cast<char *>(sbrk(0));
        if (top <= faulted_) return;
        madvise(faulted_, static_cast<size_t>(top - faulted_), MADV_POPULATE_WRITE);
        faulted_ = top;
    }

private:
    static constexpr size_t kHeapStep = size_t{16} << 20;
    char *faulted_;
    unsigned calls_ = 0;
};

class Builder final : public JsonEvents {
public:
    Builder() = default;
    Builder(const Builder &) = delete;
    Builder &operator=(const Builder &) = delete;
    ~Builder() override
    {
        if (root_) quolan_base_methods(root_)->Delete(root_);
    }

    QuolanObject *take_root() { return std::exchange(root_, nullptr); }

    bool begin_object() override { return open(dict_baseclass); }
    bool begin_array() override { return open(array_baseclass); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }
    bool key(const char *text, size_t length, bool holds_nul) override
    {
        if (holds_nul) return refuse("a member name holding U+0000 cannot be a key: texts end at NUL");
        if (key_.size() <= length) key_.resize(length + 1);
        std::memcpy(key_.data(), text, length + 1);
        return true;
    }
    bool string(const char *text, size_t, bool holds_nul) override
    {
        if (holds_nul) return refuse("a string holding U+0000 cannot be held: texts end at NUL");
        return put(const_cast<char *>(text), OwnedString, "string");
    }
    bool number(const char *text, size_t length, bool integral) override
    {
        // -0 has no Integer; as the Double -0.0 it keeps its sign.
        int32_t i = 0;
        if (integral && std::strcmp(text, "-0") != 0 && std::from_chars(text, text + length, i).ec == std::errc())
            return put(&i, Integer, "number");
        double d = 0;
        if (!json_number_to_double(text, length, &d)) return refuse("a number beyond the range of a double");
        return put(&d, Double, "number");
    }
    bool boolean(bool value) override
    {
        int32_t b = value ? 1 : 0;
        return put(&b, Boolean, value ? "true" : "false");
    }
    bool null() override { return put(nullptr, Null, "null"); }
    bool end() override
    {
        if (root_) return true;
        return refuse(std::string("a top-level ") + scalar_ +
                      " is not a container: a container file holds an array or an object");
    }

private:
    struct Open {
        QuolanObject *object;  // owned by its parent, or the root
        bool dict;
    };

    bool refuse(std::string why)
    {
        refusal = std::move(why);
        return false;
    }

    // Puts into the innermost open container: appended to an array, under
    // the member name just read in an object (a repeated name: the last
    // wins).  The value comes straight after its name, so one name at a
    // time is all there is to keep.
    // A value outside any container is the whole text, refused at its end.
    bool put(void *value, int32_t tag, const char *what)
    {
        heap_.keep_up();
        if (open_.empty()) {
            scalar_ = what;
            return true;
        }
        Open &top = open_.back();
        int32_t status = top.dict ? quolan_dict_methods(top.object)->PutStringKey(top.object, value, tag, key_.data())
                                  : quolan_array_methods(top.object)->PutAt(top.object, value, tag, -2);
        return status == StatusOk || refuse("the container refused the value (status " + std::to_string(status) +
                                            " " + quolan_status_name(status) + ")");
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
        open_.push_back({made, cls == dict_baseclass});
        return true;
    }

    bool close()
    {
        open_.pop_back();
        return true;
    }

    HeapGrowth heap_;
    QuolanObject *root_ = nullptr;
    std::vector<Open> open_;
    std::vector<char> key_;  // the member name just read, NUL-terminated
    const char *scalar_ = "";
};

// ---------------------------------------------------------------- export

// The records, read a buffer at a time.  Every read answers false when the
// file ends early, which after a successful load means it changed since.
class RecordReader {
public:
    explicit RecordReader(FILE *in) : in_(in), buf_(kSize) {}

    const unsigned char *take(size_t n)
    {
        if (end_ - pos_ < n && !fill(n)) return nullptr;
        const unsigned char *p = n > kSize ? reinterpret_cast<const unsigned char *>(big_.data()) : &buf_[pos_];
        if (n <= kSize) pos_ += n;
        return p;
    }
    bool i32(int32_t *v)
    {
        const unsigned char *p = take(4);
        if (p) *v = static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24);
        return p != nullptr;
    }
    bool at_end() { return end_ == pos_ && std::fread(buf_.data(), 1, 1, in_) == 0; }

private:
    static constexpr size_t kSize = size_t{1} << 16;

    // Makes n bytes readable: at buf_[pos_] when they fit the buffer, else
    // in big_ (a text longer than the buffer).
    bool fill(size_t n)
    {
        const size_t kept = end_ - pos_;
        std::memmove(buf_.data(), buf_.data() + pos_, kept);
        pos_ = 0;
        end_ = kept;
        if (n > kSize) {
            big_.assign(reinterpret_cast<const char *>(buf_.data()), kept);
            big_.resize(n);
            end_ = 0;
            return std::fread(big_.data() + kept, 1, n - kept, in_) == n - kept;
        }
        end_ += std::fread(buf_.data() + end_, 1, kSize - end_, in_);
        return end_ >= n;
    }

    FILE *in_;
    std::vector<unsigned char> buf_;
    size_t pos_ = 0, end_ = 0;
    std::string big_;
};

class Exporter {
public:
    Exporter(FILE *file, Output &out, bool compact) : in_(file), out_(out), pretty_(!compact) {}

    bool run(std::string *why)
    {
        const unsigned char *frame = in_.take(12);
        bool ok = frame && std::memcmp(frame, kMagic, sizeof kMagic) == 0 && container(text_, 1) && in_.at_end();
        if (ok) {
            text_ += '\n';
            ok = flush(true);
        }
        if (!ok && !write_failed_) *why = "the file no longer reads as it did when it was loaded";
        return ok;
    }

    size_t nulled = 0;

private:
    // Member names of one Dict record, rendered; a free position has none.
    struct Names {
        std::string text;
        std::vector<std::pair<size_t, size_t>> spans;  // (start, length); kNone for a free position
        void clear()
        {
            text.clear();
            spans.clear();
        }
    };
    static constexpr size_t kNone = SIZE_MAX;
    static constexpr int kMaxDepth = 1001;  // one past what the library loads

    bool flush(bool last)
    {
        if (!last && text_.size() < (size_t{1} << 16)) return true;
        write_failed_ = !out_.write(text_.data(), text_.size());
        text_.clear();
        return !write_failed_;
    }

    // Opens the next item of a container being written.
    void item(std::string &o, bool &first, int depth)
    {
        if (!first) o += ',';
        first = false;
        if (pretty_) {
            o += '\n';
            o.append(2 * static_cast<size_t>(depth), ' ');
        }
    }
    void finish(std::string &o, bool first, int depth, char close)
    {
        if (!first && pretty_) {
            o += '\n';
            o.append(2 * static_cast<size_t>(depth - 1), ' ');
        }
        o += close;
    }

    static void quoted(std::string &o, const unsigned char *s, size_t n)
    {
        o += '"';
        for (size_t i = 0; i < n;) {
            size_t run = i;
            while (run < n && kJsonPlain[s[run]]) ++run;
            o.append(reinterpret_cast<const char *>(s + i), run - i);
            if ((i = run) == n) break;
            const unsigned char c = s[i];
            if (c == '"' || c == '\\') {
                o += '\\';
                o += static_cast<char>(c);
                ++i;
            } else if (c < 0x20) {
                static const char kShort[] = "\b\f\n\r\t", kLetter[] = "bfnrt";
                if (const char *e = std::strchr(kShort, c)) {
                    o += '\\';
                    o += kLetter[e - kShort];
                } else {
                    char u[8];
                    std::snprintf(u, sizeof u, "\\u%04x", c);
                    o += u;
                }
                ++i;
            } else if (size_t k = utf8_sequence(s + i, n - i)) {
                o.append(reinterpret_cast<const char *>(s + i), k);
                i += k;
            } else {
                o += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8
                ++i;
            }
        }
        o += '"';
    }

    // The value of an entry whose tag was read.
    bool value(std::string &o, int32_t tag, int depth)
    {
        const unsigned char *p = nullptr;
        char text[kDoubleTextSize];
        switch (tag) {
        case Null: o += "null"; return true;
        case Integer: {
            int32_t i = 0;
            if (!in_.i32(&i)) return false;
            o.append(text, std::to_chars(text, text + sizeof text, i).ptr);
            return true;
        }
        case Double: {
            double d = 0;
            if (!(p = in_.take(8))) return false;
            std::memcpy(&d, p, 8);  // the record holds the double as memory holds it
            if (std::isfinite(d)) {
                o += double_text(d, text);
            } else {
                o += "null";
                ++nulled;
            }
            return true;
        }
        case OwnedString: {
            int32_t length = 0;
            if (!in_.i32(&length) || length < 0 || !(p = in_.take(static_cast<size_t>(length) + 1))) return false;
            quoted(o, p, static_cast<size_t>(length));
            return true;
        }
        case OwnedObject: return container(o, depth + 1);
        case Boolean:
            if (!(p = in_.take(1))) return false;
            o += *p ? "true" : "false";
            return true;
        default: return false;
        }
    }

    // A key as a member name: text as it is, other kinds as their compact JSON.
    bool name(Names &names, int32_t tag, int depth)
    {
        const size_t start = names.text.size();
        if (tag == Null) {
            names.spans.emplace_back(kNone, 0);
            return true;
        }
        bool ok;
        if (tag == OwnedString) {
            int32_t length = 0;
            const unsigned char *p = nullptr;
            ok = in_.i32(&length) && length >= 0 && (p = in_.take(static_cast<size_t>(length) + 1));
            if (ok) names.text.append(reinterpret_cast<const char *>(p), static_cast<size_t>(length));
        } else {
            const bool pretty = std::exchange(pretty_, false);
            ok = value(names.text, tag, depth);
            pretty_ = pretty;
        }
        names.spans.emplace_back(start, names.text.size() - start);
        return ok;
    }

    // An entry read and dropped: a value without a key, a type list.
    bool skip(int32_t tag, int depth)
    {
        const bool ok = value(scrap_, tag, depth);
        scrap_.clear();
        return ok;
    }

    bool container(std::string &o, int depth)
    {
        int32_t length = 0;
        const unsigned char *p = nullptr;
        if (depth > kMaxDepth || !in_.i32(&length) || length < 1 || length > 127 ||
            !(p = in_.take(static_cast<size_t>(length))))
            return false;
        const Layout *layout = find_layout({reinterpret_cast<const char *>(p), static_cast<size_t>(length)});
        if (!layout) return false;
        if (names_.size() <= static_cast<size_t>(depth)) names_.resize(static_cast<size_t>(depth) + 1);
        Names &keys = names_[static_cast<size_t>(depth)];
        keys.clear();
        for (const Field &f : layout->fields) {
            const std::string_view field = f.name;
            int32_t count = 0;
            if (f.kind != FieldKind::Record) {
                if (!in_.take(f.kind == FieldKind::LockByte ? 1 : 4)) return false;
                continue;
            }
            if (!in_.i32(&count)) return false;
            bool first = true;
            const bool keyed = field == "values", set = field == "members";
            if (field == "elements" || set) o += '[';
            if (keyed) o += '{';
            for (int32_t i = 0; i < count; ++i) {
                int32_t tag = 0;
                if (!in_.i32(&tag)) return false;
                bool ok;
                if (field == "keys") {
                    ok = name(keys, tag, depth);
                } else if (field == "types" || (set && tag == Null) ||
                           (keyed && (static_cast<size_t>(i) >= keys.spans.size() ||
                                      keys.spans[static_cast<size_t>(i)].first == kNone))) {
                    ok = skip(tag, depth);  // a type list, a free position, a value without a key
                } else {
                    item(o, first, depth);
                    if (keyed) member_name(o, keys, static_cast<size_t>(i));
                    ok = value(o, tag, depth) && (&o != &text_ || flush(false));
                }
                if (!ok) return false;
            }
            if (field == "elements" || set) finish(o, first, depth, ']');
            if (!keyed) continue;
            // Keys past the last value hold Null.
            for (size_t i = static_cast<size_t>(std::max(count, 0)); i < keys.spans.size(); ++i) {
                if (keys.spans[i].first == kNone) continue;
                item(o, first, depth);
                member_name(o, keys, i);
                o += "null";
            }
            finish(o, first, depth, '}');
        }
        return true;
    }

    void member_name(std::string &o, const Names &keys, size_t i)
    {
        const auto [start, length] = keys.spans[i];
        quoted(o, reinterpret_cast<const unsigned char *>(keys.text.data() + start), length);
        o += pretty_ ? ": " : ":";
    }

    RecordReader in_;
    Output &out_;
    bool pretty_;
    bool write_failed_ = false;
    std::string text_;      // JSON not yet written
    std::string scrap_;
    std::deque<Names> names_;  // one per depth: a nested Dict never disturbs its parent's
};

}  // namespace

QuolanObject *import_json(FILE *text, JsonError *error)
{
    Builder builder;
    return read_json(text, builder, error) ? builder.take_root() : nullptr;
}

bool export_json(FILE *file, Output &out, bool compact, size_t *nulled, std::string *why)
{
    Exporter exporter(file, out, compact);
    const bool ok = exporter.run(why);
    *nulled = exporter.nulled;
    return ok;
}

}  // namespace qctool

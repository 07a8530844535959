// The reader keeps one buffer of the text.  A token (a string, a number, a
// literal) is always whole in it: when reading runs off the end, the token
// so far moves to the front and more is read behind it, and the buffer
// doubles only for a token longer than itself.  Strings are decoded in
// place (an escape is never shorter than what it stands for), so a string
// reaches its event without a copy.  Containers still open are a stack of
// brackets, not a recursion.
#include "json_reader.h"

#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "text.h"

namespace qctool {

namespace {

constexpr size_t kFirstBuffer = size_t{1} << 16;

bool digit(int c) { return c >= '0' && c <= '9'; }

std::string found(int c)
{
    if (c < 0) return "the end of the text";
    if (c > 0x20 && c < 0x7f) return std::string("'") + static_cast<char>(c) + "'";
    char text[16];
    std::snprintf(text, sizeof text, "byte 0x%02X", static_cast<unsigned>(c));
    return text;
}

int hex_digit(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The end of the run of bytes from `at` that a string holds as they are:
// eight at a time while eight are there.  In each word, a byte's high bit
// marks '"', '\\', a control character or a byte past ASCII; a borrow can
// mark bytes above the first such byte, never below it.
size_t plain_run(const char *buf, size_t at, size_t end)
{
    constexpr uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
    // The lowest marked bit is the first byte in memory on a little-endian machine.
    for (; std::endian::native == std::endian::little && end - at >= 8; at += 8) {
        uint64_t w;
        std::memcpy(&w, buf + at, 8);
        const uint64_t quote = w ^ (kOnes * '"'), slash = w ^ (kOnes * '\\');
        const uint64_t marked = (((quote - kOnes) & ~quote) | ((slash - kOnes) & ~slash) |
                                 ((w - kOnes * 0x20) & ~w) | w) & kHigh;
        if (marked) return at + static_cast<size_t>(std::countr_zero(marked) / 8);
    }
    while (at < end && kJsonPlain[static_cast<unsigned char>(buf[at])]) ++at;
    return at;
}

size_t encode_utf8(unsigned code, char *out)
{
    auto byte = [](unsigned v) { return static_cast<char>(v); };
    if (code < 0x80) {
        out[0] = byte(code);
        return 1;
    }
    if (code < 0x800) {
        out[0] = byte(0xC0 | code >> 6);
        out[1] = byte(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        out[0] = byte(0xE0 | code >> 12);
        out[1] = byte(0x80 | (code >> 6 & 0x3F));
        out[2] = byte(0x80 | (code & 0x3F));
        return 3;
    }
    out[0] = byte(0xF0 | code >> 18);
    out[1] = byte(0x80 | (code >> 12 & 0x3F));
    out[2] = byte(0x80 | (code >> 6 & 0x3F));
    out[3] = byte(0x80 | (code & 0x3F));
    return 4;
}

class Reader {
public:
    Reader(FILE *in, JsonEvents &events, JsonError *error)
        : in_(in), events_(events), error_(error), buf_(new char[kFirstBuffer + 1]), cap_(kFirstBuffer)
    {
    }
    bool run();

private:
    bool more();
    bool ensure(size_t n)
    {
        while (end_ - pos_ < n)
            if (!more()) return false;
        return true;
    }
    int peek() { return pos_ < end_ || more() ? static_cast<unsigned char>(buf_[pos_]) : -1; }
    size_t offset() const { return base_ + pos_; }

    // Most tokens follow one another or a single space.
    void skip_space()
    {
        if (pos_ < end_ && static_cast<unsigned char>(buf_[pos_]) > ' ') return;
        skip_space_run();
    }
    void skip_space_run();
    bool value(std::vector<char> *open);
    bool name();
    bool string(bool key);
    bool escape();
    bool hex4(size_t at, unsigned *code);
    bool number();
    bool literal(const char *word, size_t length);

    bool fail(const std::string &why) { return stop(offset(), line_, line_start_, "not JSON: " + why); }
    bool refused(size_t at) { return stop(at, line_, line_start_, events_.refusal); }
    bool stop(size_t at, size_t line, size_t line_start, const std::string &message);

    FILE *in_;
    JsonEvents &events_;
    JsonError *error_;
    std::unique_ptr<char[]> buf_;  // cap_ bytes and one for a NUL after a number
    size_t cap_;
    size_t base_ = 0;       // text offset of buf_[0]
    size_t tok_ = 0;        // start of the token being read: kept when more is read
    size_t pos_ = 0;        // the next byte to read
    size_t end_ = 0;        // the end of what has been read
    size_t out_ = 0;        // where a string being decoded continues
    bool nul_ = false;      // the string being decoded holds U+0000
    size_t line_ = 1;
    size_t line_start_ = 0;  // text offset where the current line starts
    bool eof_ = false;
    int read_errno_ = 0;
};

bool Reader::more()
{
    if (eof_) return false;
    if (tok_ > 0) {
        std::memmove(buf_.get(), buf_.get() + tok_, end_ - tok_);
        base_ += tok_;
        end_ -= tok_;
        pos_ -= tok_;
        out_ -= tok_;  // meaningful only inside a string; wraps harmlessly elsewhere
        tok_ = 0;
    }
    if (end_ == cap_) {
        std::unique_ptr<char[]> grown(new char[2 * cap_ + 1]);
        std::memcpy(grown.get(), buf_.get(), end_);
        buf_ = std::move(grown);
        cap_ *= 2;
    }
    const size_t n = std::fread(buf_.get() + end_, 1, cap_ - end_, in_);
    if (n == 0) {
        if (std::ferror(in_)) read_errno_ = errno ? errno : EIO;
        eof_ = true;
        return false;
    }
    end_ += n;
    return true;
}

bool Reader::stop(size_t at, size_t line, size_t line_start, const std::string &message)
{
    if (read_errno_) {
        error_->located = false;
        error_->message = std::string("cannot read: ") + std::strerror(read_errno_);
        return false;
    }
    error_->offset = at;
    error_->line = line;
    error_->column = at - line_start + 1;
    error_->message = message;
    return false;
}

void Reader::skip_space_run()
{
    do {
        tok_ = pos_;
        for (; pos_ < end_; ++pos_) {
            const char c = buf_[pos_];
            if (c == '\n') {
                ++line_;
                line_start_ = offset() + 1;
            } else if (c != ' ' && c != '\t' && c != '\r') {
                return;
            }
        }
        tok_ = pos_;
    } while (more());
}

bool Reader::run()
{
    if (ensure(3) && std::memcmp(buf_.get(), "\xEF\xBB\xBF", 3) == 0) {
        pos_ = 3;
    } else if (end_ >= 2 && (std::memcmp(buf_.get(), "\xFE\xFF", 2) == 0 || std::memcmp(buf_.get(), "\xFF\xFE", 2) == 0)) {
        return fail("a UTF-16 byte-order mark: JSON text must be UTF-8");
    }
    skip_space();
    if (peek() < 0) return fail(offset() == 0 ? "the text is empty" : "no value, only white space");
    const size_t root = offset(), root_line = line_, root_line_start = line_start_;
    std::vector<char> open;
    for (;;) {
        if (!value(&open)) return false;
        // After a value: close what ends here, then on to the next item.
        for (;;) {
            skip_space();
            const int c = peek();
            if (open.empty()) {
                if (c >= 0) return fail("more text after the JSON value: " + found(c));
                if (read_errno_) return fail("");
                return events_.end() || stop(root, root_line, root_line_start, events_.refusal);
            }
            const bool object = open.back() == '{';
            if (c == ',') {
                ++pos_;
                if (object && !name()) return false;
                break;
            }
            if (c != (object ? '}' : ']'))
                return fail(std::string("expected ',' or '") + (object ? '}' : ']') + "' after " +
                            (object ? "a member" : "an item") + ", found " + found(c));
            const size_t at = offset();
            ++pos_;
            open.pop_back();
            if (!(object ? events_.end_object() : events_.end_array())) return refused(at);
        }
    }
}

// One value; a container is opened, and its first member name read, then
// its items come as the values that follow.
bool Reader::value(std::vector<char> *open)
{
    for (;;) {
        skip_space();
        const size_t at = offset();
        const int c = peek();
        switch (c) {
        case '{':
        case '[': {
            const bool object = c == '{';
            ++pos_;
            if (!(object ? events_.begin_object() : events_.begin_array())) return refused(at);
            skip_space();
            if (peek() == (object ? '}' : ']')) {
                const size_t close = offset();
                ++pos_;
                return (object ? events_.end_object() : events_.end_array()) || refused(close);
            }
            open->push_back(static_cast<char>(c));
            if (object && !name()) return false;
            continue;
        }
        case '"': return string(false);
        case 't': return literal("true", 4) && (events_.boolean(true) || refused(at));
        case 'f': return literal("false", 5) && (events_.boolean(false) || refused(at));
        case 'n': return literal("null", 4) && (events_.null() || refused(at));
        default:
            if (c == '-' || digit(c)) return number();
            return fail(c < 0 ? "the text ends where a value should be" : "expected a value, found " + found(c));
        }
    }
}

bool Reader::name()
{
    skip_space();
    int c = peek();
    if (c != '"') return fail("expected a member name (a string in double quotes), found " + found(c));
    if (!string(true)) return false;
    skip_space();
    c = peek();
    if (c != ':') return fail("expected ':' after the member name, found " + found(c));
    ++pos_;
    return true;
}

bool Reader::string(bool key)
{
    tok_ = pos_;
    const size_t at = offset();
    out_ = ++pos_;
    nul_ = false;
    for (;;) {
        size_t run = plain_run(buf_.get(), pos_, end_);
        if (out_ != pos_) std::memmove(buf_.get() + out_, buf_.get() + pos_, run - pos_);
        out_ += run - pos_;
        pos_ = run;
        if (pos_ == end_) {
            if (!more()) return fail("the text ends inside a string");
            continue;
        }
        const auto c = static_cast<unsigned char>(buf_[pos_]);
        if (c == '"') {
            buf_[out_] = '\0';
            ++pos_;
            const char *text = buf_.get() + tok_ + 1;
            const size_t length = out_ - tok_ - 1;
            return (key ? events_.key(text, length, nul_) : events_.string(text, length, nul_)) || refused(at);
        }
        if (c == '\\') {
            if (!escape()) return false;
        } else if (c < 0x20) {
            return fail("a control character in a string; write it as an escape (\\n, \\t, \\u00XX)");
        } else {
            ensure(4);  // a sequence cut short by the end of the text is refused below
            const size_t n = utf8_sequence(reinterpret_cast<const unsigned char *>(buf_.get() + pos_), end_ - pos_);
            if (n == 0) return fail("invalid UTF-8 in a string");
            std::memmove(buf_.get() + out_, buf_.get() + pos_, n);
            out_ += n;
            pos_ += n;
        }
    }
}

bool Reader::hex4(size_t at, unsigned *code)
{
    *code = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const int v = hex_digit(buf_[i]);
        if (v < 0) return false;
        *code = *code << 4 | static_cast<unsigned>(v);
    }
    return true;
}

// The escape at pos_, decoded to out_.  What it decodes to is never longer
// than the escape, so the text decoded so far never overtakes the reading.
bool Reader::escape()
{
    if (!ensure(2)) return fail("the text ends inside a string");
    static const char kFrom[] = "\"\\/bfnrt", kTo[] = "\"\\/\b\f\n\r\t";
    const char e = buf_[pos_ + 1];
    if (const char *simple = e ? std::strchr(kFrom, e) : nullptr) {
        buf_[out_++] = kTo[simple - kFrom];
        pos_ += 2;
        return true;
    }
    if (e != 'u') return fail("unknown escape \\" + std::string(1, e) + " in a string");
    unsigned code = 0, low = 0;
    if (!ensure(6) || !hex4(pos_ + 2, &code)) return fail("expected four hex digits after \\u");
    size_t used = 6;
    if (code >= 0xDC00 && code <= 0xDFFF)
        return fail("a lone surrogate escape (the second half of a pair) names no character");
    if (code >= 0xD800 && code <= 0xDBFF) {
        if (!ensure(12) || buf_[pos_ + 6] != '\\' || buf_[pos_ + 7] != 'u' || !hex4(pos_ + 8, &low) ||
            low < 0xDC00 || low > 0xDFFF)
            return fail("a lone surrogate escape (the first half of a pair) names no character");
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        used = 12;
    }
    pos_ += used;
    nul_ = nul_ || code == 0;
    out_ += encode_utf8(code, buf_.get() + out_);
    return true;
}

bool Reader::number()
{
    tok_ = pos_;
    const size_t at = offset();
    bool integral = true;
    if (peek() == '-') ++pos_;
    int c = peek();
    if (c == '0') {
        ++pos_;
        if (digit(peek())) return fail("a number cannot start with 0 followed by digits");
    } else if (digit(c)) {
        while (digit(peek())) ++pos_;
    } else {
        return fail("expected a digit after '-', found " + found(c));
    }
    if (peek() == '.') {
        integral = false;
        ++pos_;
        if (!digit(peek())) return fail("expected a digit after the decimal point, found " + found(peek()));
        while (digit(peek())) ++pos_;
    }
    c = peek();
    if (c == 'e' || c == 'E') {
        integral = false;
        ++pos_;
        c = peek();
        if (c == '+' || c == '-') ++pos_;
        if (!digit(peek())) return fail("expected a digit in the exponent, found " + found(peek()));
        while (digit(peek())) ++pos_;
    }
    // The byte after the number (there is room for one at end_) stands in
    // as its NUL during the call.
    const char after = buf_[pos_];
    buf_[pos_] = '\0';
    const bool ok = events_.number(buf_.get() + tok_, pos_ - tok_, integral);
    buf_[pos_] = after;
    return ok || refused(at);
}

bool Reader::literal(const char *word, size_t length)
{
    tok_ = pos_;
    if (!ensure(length) || std::memcmp(buf_.get() + pos_, word, length) != 0)
        return fail(std::string("expected '") + word + "'");
    pos_ += length;
    return true;
}

}  // namespace

bool read_json(FILE *in, JsonEvents &events, JsonError *error)
{
    return Reader(in, events, error).run();
}

bool json_number_to_double(const char *text, size_t length, double *out)
{
    if (std::from_chars(text, text + length, *out).ec == std::errc()) return true;
    // Out of range either way: strtod tells an overflow (infinite) from an
    // underflow (0 or a subnormal).
    const double d = std::strtod(text, nullptr);
    if (std::isinf(d)) return false;
    *out = d;
    return true;
}

}  // namespace qctool

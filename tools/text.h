// Text that qctool reads and writes in more than one place: UTF-8
// sequences, and doubles as the shortest text that reads back exactly.
#pragma once

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <string_view>

namespace qctool {

// Bytes a JSON string holds as they are: printable ASCII but '"' and '\'.
inline constexpr std::array<bool, 256> kJsonPlain = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x80; ++c) plain[static_cast<size_t>(c)] = c != '"' && c != '\\';
    return plain;
}();

// The length (1 to 4) of the valid UTF-8 sequence that starts `s`, which
// holds `n` bytes, or 0.  Strict: no overlong forms, no surrogates, nothing
// past U+10FFFF, which is exactly what a JSON reader accepts, so a text
// that passes prints as a JSON string and reads back as the same bytes.
inline size_t utf8_sequence(const unsigned char *s, size_t n)
{
    const unsigned c = s[0];
    const size_t follow = c < 0x80 ? 0 : c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2
                                     : c >= 0xF0 && c <= 0xF4 ? 3 : 4;
    if (follow == 4 || n - 1 < follow) return 0;
    // The second byte's range is narrower after E0, ED, F0 and F4.
    unsigned lo = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    unsigned hi = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    for (size_t k = 1; k <= follow; ++k, lo = 0x80, hi = 0xBF)
        if (s[k] < lo || s[k] > hi) return 0;
    return follow + 1;
}

inline bool valid_utf8(const unsigned char *s, size_t n)
{
    for (size_t i = 0, step; i < n; i += step)
        if ((step = utf8_sequence(s + i, n - i)) == 0) return false;
    return true;
}

// Room for any double_text.
constexpr size_t kDoubleTextSize = 32;

// The shortest text that reads back as `d`, with a fraction or an exponent
// so that it never reads as an integer: "2.0", "0.1", "1e-10", "1e+300",
// "-0.0".  NaN and the infinities are "nan", "inf" and "-inf", which JSON
// has no number for.
inline std::string_view double_text(double d, char (&buf)[kDoubleTextSize])
{
    char *end = std::to_chars(buf, buf + kDoubleTextSize - 2, d).ptr;
    if (std::isfinite(d) && std::string_view(buf, static_cast<size_t>(end - buf)).find_first_of(".e") ==
                                std::string_view::npos) {
        *end++ = '.';
        *end++ = '0';
    }
    return {buf, static_cast<size_t>(end - buf)};
}

}  // namespace qctool

// Little-endian int32 fields in a byte buffer, whatever the host's order:
// the one place the library spells out a byte order.  Only buffers handed to
// a stream whose record says its int32 slots move little-endian bytes are
// written or read this way (framework/streams.h).
//
// May touch: the bytes it is given.
#pragma once

#include <cstdint>
#include <cstring>

namespace qc {

inline void store_le32(unsigned char *out, int32_t value)
{
    uint32_t bits = static_cast<uint32_t>(value);
    if constexpr (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) bits = __builtin_bswap32(bits);
    std::memcpy(out, &bits, sizeof bits);
}

inline int32_t load_le32(const unsigned char *in)
{
    uint32_t bits;
    std::memcpy(&bits, in, sizeof bits);
    if constexpr (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) bits = __builtin_bswap32(bits);
    return static_cast<int32_t>(bits);
}

}  // namespace qc

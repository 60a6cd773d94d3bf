#pragma once
// Little- and big-endian accessors over byte buffers (callers check bounds first), and bytes
// written out for people.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tables::bytes {

inline uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t le32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t le64(const uint8_t *p) { return uint64_t(le32(p)) | (uint64_t(le32(p + 4)) << 32); }
inline uint16_t be16(const uint8_t *p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t be32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint64_t be64(const uint8_t *p) { return (uint64_t(be32(p)) << 32) | be32(p + 4); }

inline void putLe16(uint8_t *p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void putLe32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}

inline double doubleFromBits(uint64_t bits)
{
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// "0x1F": a byte in messages (version codes, type codes).
inline std::string hexByte(unsigned v)
{
    const char *digits = "0123456789ABCDEF";
    return std::string("0x") + digits[(v >> 4) & 0xF] + digits[v & 0xF];
}

// "01 1B 61": bytes that are not text, for showing.
inline std::string hexBytes(std::string_view data)
{
    const char *digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : data) {
        if (!out.empty())
            out += ' ';
        out += digits[c >> 4];
        out += digits[c & 0xF];
    }
    return out;
}

} // namespace tables::bytes

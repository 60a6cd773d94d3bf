#pragma once
// Small text helpers shared by the dBASE reader and its value decoding.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tables::dbftext {

// Without trailing blanks and NULs (a view of the same bytes).
inline std::string_view trimRight(std::string_view s)
{
    size_t n = s.size();
    // Character fields are mostly padding: skip whole words of blanks first.
    constexpr uint64_t kBlanks = 0x2020202020202020ull;
    while (n >= 8) {
        uint64_t word;
        std::memcpy(&word, s.data() + n - 8, 8);
        if (word != kBlanks)
            break;
        n -= 8;
    }
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\0'))
        --n;
    return s.substr(0, n);
}

// Without leading and trailing blanks and NULs (a view of the same bytes).
inline std::string_view trim(std::string_view s)
{
    size_t b = 0;
    while (b < s.size() && (s[b] == ' ' || s[b] == '\0'))
        ++b;
    return trimRight(s.substr(b));
}

inline bool allBytes(std::string_view s, char c)
{
    for (char x : s)
        if (x != c)
            return false;
    return true;
}

} // namespace tables::dbftext

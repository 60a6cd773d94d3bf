#pragma once
// Small text helpers shared by the dBASE reader, its value decoding and the index keys.
#include <string>
#include <string_view>

namespace tables::dbftext {

// Without trailing blanks and NULs.
inline std::string trimRight(std::string_view s)
{
    size_t n = s.size();
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\0'))
        --n;
    return std::string(s.substr(0, n));
}

// Without leading and trailing blanks and NULs.
inline std::string trim(std::string_view s)
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

#include "numkey.h"

#include <cctype>
#include <string>

namespace tables::numkey {

namespace {
Key zeroKey()
{
    Key k{};
    k[0] = 0x34;
    k[1] = 0x01;
    return k;
}

bool isZero(const Key &k)
{
    for (int i = 2; i < 12; ++i)
        if (k[i])
            return false;
    return true;
}
} // namespace

Key fromText(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\0'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    std::string intPart, fracPart;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        intPart += text[i];
    if (i < text.size() && (text[i] == '.' || text[i] == ','))
        for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
            fracPart += text[i];
    size_t lead = intPart.find_first_not_of('0');
    intPart = lead == std::string::npos ? std::string() : intPart.substr(lead);
    size_t trail = fracPart.find_last_not_of('0');
    fracPart = trail == std::string::npos ? std::string() : fracPart.substr(0, trail + 1);

    int exponent;
    std::string digits;
    int count;
    if (!intPart.empty()) {
        exponent = int(intPart.size());
        digits = intPart + fracPart;
        count = int(digits.size());
    } else {
        size_t nz = fracPart.find_first_not_of('0');
        if (nz == std::string::npos)
            return zeroKey();
        exponent = -int(nz);
        digits = fracPart.substr(nz);
        count = int(fracPart.size());
    }
    size_t sig = digits.find_last_not_of('0');
    digits = digits.substr(0, sig + 1);
    if (digits.size() > 20)
        digits.resize(20);
    if (count > 31)
        count = 31;
    if (exponent > 0x7F - 0x34)
        exponent = 0x7F - 0x34;
    if (exponent < -0x34)
        exponent = -0x34;

    Key k{};
    k[0] = uint8_t(0x34 + exponent);
    k[1] = uint8_t((negative ? 0x80 : 0) | (count << 2) | 0x01);
    for (size_t d = 0; d < digits.size(); ++d) {
        uint8_t nibble = uint8_t(digits[d] - '0');
        k[2 + d / 2] |= (d % 2 == 0) ? uint8_t(nibble << 4) : nibble;
    }
    return k;
}

int compare(const Key &a, const Key &b)
{
    // Sign class: negative -1, zero 0, positive 1.
    auto cls = [](const Key &k) { return isZero(k) ? 0 : ((k[1] & 0x80) ? -1 : 1); };
    int ca = cls(a), cb = cls(b);
    if (ca != cb)
        return ca < cb ? -1 : 1;
    if (ca == 0)
        return 0;
    int r = 0;
    if (a[0] != b[0])
        r = a[0] < b[0] ? -1 : 1;
    else
        for (int i = 2; i < 12 && r == 0; ++i)
            if (a[i] != b[i])
                r = a[i] < b[i] ? -1 : 1;
    return ca < 0 ? -r : r;
}

} // namespace tables::numkey

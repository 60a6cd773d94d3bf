#include "transliterate.h"

#include <algorithm>
#include <iterator>

namespace tables::codepage {

namespace {

// U+00C0 .. U+017F: Latin-1 letters and Latin Extended-A, row by row of 16.
constexpr const char *kLatin[] = {
    // U+00C0  À Á Â Ã Ä Å Æ Ç È É Ê Ë Ì Í Î Ï
    "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I", "I",
    // U+00D0  Ð Ñ Ò Ó Ô Õ Ö × Ø Ù Ú Û Ü Ý Þ ß
    "D", "N", "O", "O", "O", "O", "O", "x", "O", "U", "U", "U", "U", "Y", "Th", "ss",
    // U+00E0  à á â ã ä å æ ç è é ê ë ì í î ï
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i",
    // U+00F0  ð ñ ò ó ô õ ö ÷ ø ù ú û ü ý þ ÿ
    "d", "n", "o", "o", "o", "o", "o", ":", "o", "u", "u", "u", "u", "y", "th", "y",
    // U+0100  Ā ā Ă ă Ą ą Ć ć Ĉ ĉ Ċ ċ Č č Ď ď
    "A", "a", "A", "a", "A", "a", "C", "c", "C", "c", "C", "c", "C", "c", "D", "d",
    // U+0110  Đ đ Ē ē Ĕ ĕ Ė ė Ę ę Ě ě Ĝ ĝ Ğ ğ
    "D", "d", "E", "e", "E", "e", "E", "e", "E", "e", "E", "e", "G", "g", "G", "g",
    // U+0120  Ġ ġ Ģ ģ Ĥ ĥ Ħ ħ Ĩ ĩ Ī ī Ĭ ĭ Į į
    "G", "g", "G", "g", "H", "h", "H", "h", "I", "i", "I", "i", "I", "i", "I", "i",
    // U+0130  İ ı Ĳ ĳ Ĵ ĵ Ķ ķ ĸ Ĺ ĺ Ļ ļ Ľ ľ Ŀ
    "I", "i", "IJ", "ij", "J", "j", "K", "k", "k", "L", "l", "L", "l", "L", "l", "L",
    // U+0140  ŀ Ł ł Ń ń Ņ ņ Ň ň ŉ Ŋ ŋ Ō ō Ŏ ŏ
    "l", "L", "l", "N", "n", "N", "n", "N", "n", "'n", "N", "n", "O", "o", "O", "o",
    // U+0150  Ő ő Œ œ Ŕ ŕ Ŗ ŗ Ř ř Ś ś Ŝ ŝ Ş ş
    "O", "o", "OE", "oe", "R", "r", "R", "r", "R", "r", "S", "s", "S", "s", "S", "s",
    // U+0160  Š š Ţ ţ Ť ť Ŧ ŧ Ũ ũ Ū ū Ŭ ŭ Ů ů
    "S", "s", "T", "t", "T", "t", "T", "t", "U", "u", "U", "u", "U", "u", "U", "u",
    // U+0170  Ű ű Ų ų Ŵ ŵ Ŷ ŷ Ÿ Ź ź Ż ż Ž ž ſ
    "U", "u", "U", "u", "W", "w", "Y", "y", "Y", "Z", "z", "Z", "z", "Z", "z", "s",
};
static_assert(std::size(kLatin) == 0x180 - 0xC0);

struct Spelling { char32_t c; const char *ascii; };
// Everything else, in code point order.
constexpr Spelling kOthers[] = {
    {0x00A0, " "},   {0x00AB, "<<"},  {0x00AD, "-"},   {0x00BB, ">>"},
    {0x0192, "f"},   {0x01CD, "A"},   {0x01CE, "a"},   {0x01CF, "I"},   {0x01D0, "i"},   {0x01D1, "O"},
    {0x01D2, "o"},   {0x01D3, "U"},   {0x01D4, "u"},   {0x01E6, "G"},   {0x01E7, "g"},   {0x01E8, "K"},
    {0x01E9, "k"},   {0x0218, "S"},   {0x0219, "s"},   {0x021A, "T"},   {0x021B, "t"},
    {0x1E9E, "SS"},
    {0x2002, " "},   {0x2003, " "},   {0x2009, " "},   {0x2010, "-"},   {0x2011, "-"},   {0x2012, "-"},
    {0x2013, "-"},   {0x2014, "-"},   {0x2015, "-"},   {0x2018, "'"},   {0x2019, "'"},   {0x201A, "'"},
    {0x201B, "'"},   {0x201C, "\""},  {0x201D, "\""},  {0x201E, "\""},  {0x201F, "\""},  {0x2026, "..."},
    {0x202F, " "},   {0x2039, "<"},   {0x203A, ">"},
    {0xFB00, "ff"},  {0xFB01, "fi"},  {0xFB02, "fl"},  {0xFB03, "ffi"}, {0xFB04, "ffl"}, {0xFB05, "st"},
    {0xFB06, "st"},
};
static_assert(std::is_sorted(std::begin(kOthers), std::end(kOthers),
                             [](const Spelling &a, const Spelling &b) { return a.c < b.c; }));

} // namespace

const char *asciiSpelling(char32_t c)
{
    if (c >= 0xC0 && c < 0x180)
        return kLatin[c - 0xC0];
    if (c >= 0x300 && c < 0x370)
        return ""; // combining accents: the base letter before them stays
    auto it = std::lower_bound(std::begin(kOthers), std::end(kOthers), c,
                               [](const Spelling &s, char32_t v) { return s.c < v; });
    return it != std::end(kOthers) && it->c == c ? it->ascii : nullptr;
}

char32_t decodeUtf8(std::string_view s, size_t length)
{
    if (length == 0 || length > 4 || length > s.size())
        return 0xFFFD;
    const unsigned char lead = static_cast<unsigned char>(s[0]);
    if (length == 1)
        return lead;
    char32_t c = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i)
        c = (c << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    return c;
}

} // namespace tables::codepage

#pragma once
// ASCII spellings of letters a single-byte code page may lack, so that text written to such a
// code page stays readable ("Währung" -> "Wahrung", "Łódź" -> "Lodz", "Straße" -> "Strasse").
// Our own table, the same whatever the process locale or platform (a C library's
// transliteration follows the locale and gives "?" in the C locale).
#include <string_view>

namespace tables::codepage {

// The ASCII spelling of the character `c`: Latin letters with diacritics and ligatures, and
// the typographic quotes, dashes and spaces. Empty for a combining mark (dropped); nullptr
// when there is none.
const char *asciiSpelling(char32_t c);

// Decodes the UTF-8 sequence at the start of `s` (of `length` bytes, as checked by the
// caller); U+FFFD for anything malformed.
char32_t decodeUtf8(std::string_view s, size_t length);

} // namespace tables::codepage

#pragma once
// Code pages of table text and their conversion to and from UTF-8 (iconv on POSIX systems,
// the Windows API on Windows, with our own transliteration of what a code page cannot hold).
#include <cstdint>
#include <string>
#include <string_view>

namespace tables::codepage {

// dBASE language driver id / FoxPro code page mark (header byte 29) -> code page; 0 = none or unknown.
int fromLanguageDriver(uint8_t id);
// dBASE 7 language driver name ("DB866RU0", "DBWINUS0", ...) -> code page; 0 = unknown.
int fromDriverName(std::string_view name);
// The language driver id we write for a code page (1251 -> 0xC9, ...); 0 when there is none.
uint8_t languageDriverFor(int codePage);
// A .cpg file's text ("CP1251", "1251", "UTF-8", "ANSI 1251", "KOI8-R", "ISO-8859-5" ...) ->
// code page; 0 = not understood. 65001 stands for UTF-8, 20866/21866 for KOI8-R/KOI8-U,
// 28591..28606 for ISO-8859-1..16.
int fromCpgText(std::string_view text);

// DOS or Windows Cyrillic, told apart by the letters a sample of text uses: 866 or 1251.
// 0 when there is nothing to judge by: no byte above 0x7F, high bytes that read as Cyrillic
// in neither code page, or high bytes standing alone inside Latin words (the accented
// letters of a Western code page).
int guessCyrillic(std::string_view sample);
// The code page of text without a mark: 65001 when the sample is valid UTF-8 holding
// multi-byte characters (values cut inside their last character, before a blank or the end,
// still count), else guessCyrillic().
int guessFromText(std::string_view sample);
// The code page of the user's locale for text without a mark (1251 for a Russian locale,
// else 1252; UTF-8 locales count by their language).
int localeDefault();

// Bytes in `codePage` to UTF-8. Bytes that do not convert become U+FFFD; never throws.
std::string toUtf8(std::string_view bytes, int codePage);
// UTF-8 to `codePage`. A character the code page lacks is written in its ASCII spelling
// where it has one (Latin letters with diacritics and ligatures: "Währung" -> "Wahrung",
// "Łódź" -> "Lodz", "Straße" -> "Strasse"), else as '?'; the same in every locale.
std::string fromUtf8(std::string_view utf8, int codePage);

// Length of the UTF-8 sequence starting at s[i], 0 when it is not a valid one.
size_t utf8Length(std::string_view s, size_t i);
// The first `n` characters of a UTF-8 string (not bytes).
std::string leftChars(std::string_view utf8, size_t n);

} // namespace tables::codepage

#include "codepage.h"
#include "codepage_p.h"
#include "transliterate.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace tables::codepage {

size_t utf8Length(std::string_view s, size_t i)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c >= 0xC2 && c < 0xE0) ? 2 : (c >= 0xE0 && c < 0xF0) ? 3 : (c >= 0xF0 && c < 0xF5) ? 4 : 0;
    if (len == 0 || i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 0;
    return len;
}

std::string_view substitute(std::string_view rest, size_t len, std::string_view bad)
{
    const char *ascii = len > 0 ? asciiSpelling(decodeUtf8(rest, len)) : nullptr;
    return ascii ? std::string_view(ascii) : bad;
}

namespace {

struct Ldid { uint8_t id; int cp; };
// Language driver ids and FoxPro code page marks (see the dBASE and FoxPro references).
constexpr Ldid kLdids[] = {
    {0x01, 437}, {0x02, 850}, {0x03, 1252}, {0x04, 10000}, {0x08, 865}, {0x09, 437}, {0x0A, 850},
    {0x0B, 437}, {0x0D, 437}, {0x0E, 850}, {0x0F, 437}, {0x10, 850}, {0x11, 437}, {0x12, 850},
    {0x13, 932}, {0x14, 850}, {0x15, 437}, {0x16, 850}, {0x17, 865}, {0x18, 437}, {0x19, 437},
    {0x1A, 850}, {0x1B, 437}, {0x1C, 863}, {0x1D, 850}, {0x1F, 852}, {0x22, 852}, {0x23, 852},
    {0x24, 860}, {0x25, 850}, {0x26, 866}, {0x37, 850}, {0x40, 852}, {0x4D, 936}, {0x4E, 949},
    {0x4F, 950}, {0x50, 874}, {0x56, 932}, {0x57, 1252}, {0x58, 1252}, {0x59, 1252}, {0x64, 852},
    {0x65, 866}, {0x66, 865}, {0x67, 861}, {0x6A, 737}, {0x6B, 857}, {0x78, 950}, {0x79, 949},
    {0x7A, 936}, {0x7B, 932}, {0x7C, 874}, {0x7D, 1255}, {0x7E, 1256}, {0x85, 862}, {0x86, 737}, {0x87, 852},
    {0x88, 857}, {0x96, 10007}, {0x97, 10029}, {0x98, 10006}, {0xC8, 1250}, {0xC9, 1251},
    {0xCA, 1254}, {0xCB, 1253},
};

bool isAscii(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// `in` with every byte that does not start a valid UTF-8 sequence replaced by `bad`.
std::string cleanUtf8(std::string_view in, std::string_view bad)
{
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        size_t len = utf8Length(in, i);
        if (len == 0) {
            out += bad;
            ++i;
        } else {
            out.append(in.substr(i, len));
            i += len;
        }
    }
    return out;
}

// Without a converter: ASCII kept, every other byte becomes `bad` (a UTF-8 character its ASCII
// spelling, else `bad`).
std::string asciiOnly(std::string_view in, std::string_view bad, bool utf8Input)
{
    std::string out;
    for (size_t i = 0; i < in.size();) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        if (c < 0x80) {
            out += char(c);
            ++i;
            continue;
        }
        const size_t len = utf8Input ? utf8Length(in, i) : 0;
        out += utf8Input ? substitute(in.substr(i), len, bad) : bad;
        i += std::max<size_t>(1, len);
    }
    return out;
}

} // namespace

int fromLanguageDriver(uint8_t id)
{
    for (const Ldid &l : kLdids)
        if (l.id == id)
            return l.cp;
    return 0;
}

uint8_t languageDriverFor(int codePage)
{
    switch (codePage) {
    case 437: return 0x1B;
    case 850: return 0x37;
    case 852: return 0x64;
    case 866: return 0x26;
    case 1250: return 0xC8;
    case 1251: return 0xC9;
    case 1252: return 0x57;
    default: return 0;
    }
}

namespace {

struct DriverName { const char *name; int cp; };
// BDE language driver names a dBASE 7 header may carry (the dBASE ones and, since BDE lets a
// dBASE table use any driver, the Paradox, FoxPro and Borland ones), where the code page
// cannot be read off the name's digits.
constexpr DriverName kDriverNames[] = {
    {"DBHEBREW", 1255}, {"ANCYRR", 1251},   {"CYRR", 866},      {"ANCZECH", 1250}, {"ANCZECHW", 1250},
    {"ANPOLISH", 1250}, {"ANSISLOV", 1250}, {"ANHUNDC", 1250},  {"FOXCZWIN", 1250}, {"CZECH", 852},
    {"CZECHW", 852},    {"POLISH", 852},    {"SLOVENE", 852},   {"ANGREEK1", 1253}, {"MSSGRWIN", 1253},
    {"ANTURK", 1254},   {"TURK", 857},      {"ANHEBREW", 1255}, {"HEBREW", 862},    {"BLWINAR0", 1256},
    {"ANSIINTL", 1252}, {"ANSINOR4", 1252}, {"ANSISPAN", 1252}, {"ANSISWFN", 1252}, {"FOXDEWIN", 1252},
    {"FOXNOWIN", 1252}, {"ASCII", 437},     {"INTL", 437},      {"SPANISH", 437},   {"SWEDFIN", 437},
    {"NORDAN", 865},    {"NORDAN40", 865},  {"ICELAND", 861},   {"JAPAN", 932},     {"CHINA", 936},
    {"KOREA", 949},     {"TAIWAN", 950},    {"THAI", 874},
};

bool isKnownCodePage(int cp)
{
    static const int known[] = {437, 737, 850, 852, 855, 857, 860, 861, 862, 863, 865, 866, 869, 874,
                                932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
    return std::find(std::begin(known), std::end(known), cp) != std::end(known);
}

// The first run of three or four digits in `s` read as a number, 0 when there is none.
int firstNumber(std::string_view s)
{
    size_t i = 0;
    while (i < s.size()) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) {
            ++i;
            continue;
        }
        size_t j = i;
        int v = 0;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])) && j - i < 6)
            v = v * 10 + (s[j++] - '0');
        if (j - i >= 3 && j - i <= 5)
            return v;
        i = j;
    }
    return 0;
}

std::string upperNoSpace(std::string_view text)
{
    std::string t;
    for (char c : text) {
        if (c == 0)
            break;
        if (!std::isspace(static_cast<unsigned char>(c)))
            t += char(std::toupper(static_cast<unsigned char>(c)));
    }
    return t;
}

} // namespace

int fromDriverName(std::string_view name)
{
    const std::string n = upperNoSpace(name);
    if (n.empty())
        return 0;
    for (const DriverName &d : kDriverNames)
        if (n == d.name)
            return d.cp;
    if (n.rfind("DBWIN", 0) == 0 || n.rfind("BLLT1", 0) == 0)
        return 1252; // dBASE Windows ANSI drivers, Borland Latin-1 drivers
    // DB437US0, DB866RU0, FOXDE437, SYDC850, ORAWE850, BGPD1251, INTL850 ...
    int cp = firstNumber(n);
    return isKnownCodePage(cp) ? cp : 0;
}

int fromCpgText(std::string_view text)
{
    const std::string t = upperNoSpace(text);
    if (t.empty())
        return 0;
    if (t == "UTF-8" || t == "UTF8" || t == "65001")
        return 65001;
    if (t.rfind("KOI8", 0) == 0)
        return t.find('U') != std::string::npos ? 21866 : 20866;
    if (t == "20866" || t == "21866")
        return t == "20866" ? 20866 : 21866;
    size_t iso = t.find("8859");
    if (iso != std::string::npos) {
        // ISO-8859-5, ISO88591, 8859_1 ...
        size_t i = iso + 4;
        while (i < t.size() && !std::isdigit(static_cast<unsigned char>(t[i])))
            ++i;
        int part = 0;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])) && part < 100)
            part = part * 10 + (t[i++] - '0');
        return part >= 1 && part <= 16 ? 28590 + part : 0;
    }
    if (t.size() == 5 && t.rfind("2859", 0) == 0 && t[4] >= '1' && t[4] <= '9')
        return 28590 + (t[4] - '0'); // 28591 ... 28599
    int cp = firstNumber(t);
    return isKnownCodePage(cp) ? cp : 0;
}

namespace {

// Russian letter frequencies per thousand letters, а..я.
constexpr int kLetterFrequency[32] = {80, 16, 45, 17, 30, 85, 9,  16, 74, 12, 35, 44, 32, 67, 110, 28,
                                      47, 55, 63, 26, 3,  10, 5,  14, 7,  4,  1,  19, 17, 3,  6,   20};
constexpr int kStrongPenalty = -40; // a byte that plain text in this code page hardly ever holds
constexpr int kMildPenalty = -10;   // punctuation and signs: possible, but not letters

int letterScore(int index) { return kLetterFrequency[index] + 5; }

// How likely byte `c` (>= 0x80) is in Russian text written in cp1251.
int score1251(unsigned char c)
{
    if (c >= 0xC0)
        return letterScore((c - 0xC0) % 32);
    switch (c) {
    case 0xA8: case 0xB8: return letterScore(5);        // Ё ё
    case 0xAA: case 0xBA: case 0xAF: case 0xBF:        // Є є Ї ї
    case 0xB2: case 0xB3: case 0xA5: case 0xB4:        // І і Ґ ґ
    case 0xA1: case 0xA2: return 8;                    // Ў ў
    case 0xB9: return 0;                               // №
    case 0x85: case 0x93: case 0x94: case 0x96: case 0x97: case 0xA0: case 0xAB: case 0xBB: case 0xB0:
        return kMildPenalty;                           // … “ ” – — nbsp « » °
    default: return kStrongPenalty;
    }
}

// How likely byte `c` (>= 0x80) is in Russian text written in cp866.
int score866(unsigned char c)
{
    if (c < 0xA0)
        return letterScore(c - 0x80);                  // А..Я
    if (c < 0xB0)
        return letterScore(c - 0xA0);                  // а..п
    if (c < 0xE0)
        return kStrongPenalty;                         // box drawing
    if (c < 0xF0)
        return letterScore(c - 0xE0 + 16);             // р..я
    if (c <= 0xF1)
        return letterScore(5);                         // Ё ё
    if (c <= 0xF7)
        return 8;                                      // Є є Ї ї Ў ў
    if (c == 0xFC)
        return 0;                                      // №
    return kMildPenalty;                               // ° ∙ · √ ¤ ■ nbsp
}

bool isAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

} // namespace

int guessCyrillic(std::string_view sample)
{
    // Each high byte is scored as a letter of Russian text in either code page (frequent
    // letters score high, box drawing and control-like signs score low). Cyrillic words are
    // runs of high bytes; a high byte alone between Latin letters is an accented letter of a
    // Western code page (penedès, Müller), and then the text is not Cyrillic at all.
    long s866 = 0, s1251 = 0, high = 0, insideLatin = 0;
    const size_t n = sample.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(sample[i]);
        if (c < 0x80)
            continue;
        ++high;
        s866 += score866(c);
        s1251 += score1251(c);
        const unsigned char prev = i > 0 ? static_cast<unsigned char>(sample[i - 1]) : ' ';
        const unsigned char next = i + 1 < n ? static_cast<unsigned char>(sample[i + 1]) : ' ';
        if (prev < 0x80 && next < 0x80 && (isAsciiLetter(prev) || isAsciiLetter(next)))
            ++insideLatin;
    }
    if (high == 0 || insideLatin * 2 > high)
        return 0;
    if (s866 <= 0 && s1251 <= 0)
        return 0;
    return s866 > s1251 ? 866 : 1251;
}

namespace {

// Valid UTF-8 holding at least one multi-byte character. A character cut short by the width of
// its field (a valid start running into a blank or the end of the sample) is allowed.
bool isMultiByteUtf8(std::string_view s)
{
    size_t multiByte = 0;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        const size_t len = utf8Length(s, i);
        if (len > 0) {
            ++multiByte;
            i += len;
            continue;
        }
        if (c < 0xC2 || c >= 0xF5)
            return false;
        const size_t whole = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        size_t j = i + 1;
        while (j < s.size() && (static_cast<unsigned char>(s[j]) & 0xC0) == 0x80)
            ++j;
        if (j - i >= whole || (j < s.size() && s[j] != ' '))
            return false;
        i = j;
    }
    return multiByte > 0;
}

} // namespace

int guessFromText(std::string_view sample)
{
    // Multi-byte UTF-8 first: Cyrillic in cp1251 or cp866 hardly ever forms it (two cp1251
    // letters in a row never do), while UTF-8 read as either gives "РЁРђР".
    if (isMultiByteUtf8(sample))
        return 65001;
    return guessCyrillic(sample);
}

int localeDefault()
{
    const char *vars[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    for (const char *v : vars) {
        const char *s = std::getenv(v);
        if (s && *s) {
            std::string l(s);
            if (l.rfind("ru", 0) == 0 || l.rfind("uk", 0) == 0 || l.rfind("be", 0) == 0 || l.rfind("bg", 0) == 0)
                return 1251;
            if (l.rfind("cs", 0) == 0 || l.rfind("pl", 0) == 0 || l.rfind("hu", 0) == 0 || l.rfind("sk", 0) == 0)
                return 1250;
            return 1252;
        }
    }
    const int system = backend::systemCodePage();
    return system != 0 ? system : 1252;
}

namespace {

const std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// Code pages where each byte is one character on its own, whatever stands beside it: their text
// converts through a table of 256 entries built once from the system's converter, which is what
// reading millions of cells needs. Pages of two-byte characters (932, 936, 949, 950) and those
// whose converters join a letter with the accent after it (1255, 1258) go to the converter.
bool oneBytePerCharacter(int cp)
{
    switch (cp) {
    case 437: case 737: case 775: case 850: case 852: case 855: case 857: case 860: case 861: case 862:
    case 863: case 865: case 866: case 869: case 874: case 1250: case 1251: case 1252: case 1253:
    case 1254: case 1256: case 1257: case 10000: case 10006: case 10007: case 10029: case 20866: case 21866:
        return true;
    default:
        return cp >= 28591 && cp <= 28605 && cp != 28596 && cp != 28598 && cp != 28600 && cp != 28602;
    }
}

// The UTF-8 of each byte from 0x80 up; the bytes below are ASCII in every page listed above.
struct ByteTable {
    std::array<char, 4> utf8[128];
    uint8_t length[128];
};

// The table of a code page, nullptr when the page is not one byte per character or the system
// cannot convert from it. Tables live as long as the program.
const ByteTable *byteTable(int cp)
{
    if (!oneBytePerCharacter(cp))
        return nullptr;
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<ByteTable>> tables;
    std::lock_guard lock(mutex);
    auto it = tables.find(cp);
    if (it != tables.end())
        return it->second.get();
    auto t = std::make_unique<ByteTable>();
    for (int b = 0x80; b < 0x100; ++b) {
        const char byte = char(b);
        std::string u;
        if (!backend::toUtf8(std::string_view(&byte, 1), cp, kReplacement, u) || u.empty() || u.size() > 4) {
            t.reset();
            break;
        }
        std::copy(u.begin(), u.end(), t->utf8[b - 0x80].begin());
        t->length[b - 0x80] = uint8_t(u.size());
    }
    return tables.emplace(cp, std::move(t)).first->second.get();
}

} // namespace

std::string toUtf8(std::string_view bytes, int codePage)
{
    if (isAscii(bytes))
        return std::string(bytes);
    if (codePage == 65001)
        return cleanUtf8(bytes, kReplacement);
    if (codePage == 0)
        codePage = 1252;
    // The table of the last page asked for, found without the lock (a reader reads one page).
    thread_local int lastPage = -1;
    thread_local const ByteTable *last = nullptr;
    if (codePage != lastPage) {
        last = byteTable(codePage);
        lastPage = codePage;
    }
    std::string out;
    if (last) {
        out.reserve(bytes.size() * 2);
        for (unsigned char c : bytes) {
            if (c < 0x80)
                out.push_back(char(c));
            else
                out.append(last->utf8[c - 0x80].data(), last->length[c - 0x80]);
        }
        return out;
    }
    if (backend::toUtf8(bytes, codePage, kReplacement, out) || backend::toUtf8(bytes, 1252, kReplacement, out))
        return out;
    return asciiOnly(bytes, kReplacement, false);
}

std::string fromUtf8(std::string_view utf8, int codePage)
{
    if (isAscii(utf8))
        return std::string(utf8);
    if (codePage == 65001)
        return cleanUtf8(utf8, "?");
    if (codePage == 0)
        codePage = 1252;
    std::string out;
    if (backend::fromUtf8(utf8, codePage, "?", out) || backend::fromUtf8(utf8, 1252, "?", out))
        return out;
    return asciiOnly(utf8, "?", true);
}

std::string leftChars(std::string_view utf8, size_t n)
{
    if (utf8.size() <= n)
        return std::string(utf8); // no more characters than bytes
    size_t i = 0, count = 0;
    while (i < utf8.size() && count < n) {
        // A byte that starts no valid sequence counts as one character of its own.
        i += std::max<size_t>(1, utf8Length(utf8, i));
        ++count;
    }
    return std::string(utf8.substr(0, i));
}

} // namespace tables::codepage

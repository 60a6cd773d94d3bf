#include "codepage.h"

#include <iconv.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace tables::codepage {

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
    {0x7A, 936}, {0x7B, 932}, {0x7C, 874}, {0x7D, 1255}, {0x7E, 1256}, {0x86, 737}, {0x87, 852},
    {0x88, 857}, {0x96, 10007}, {0x97, 10029}, {0x98, 10006}, {0xC8, 1250}, {0xC9, 1251},
    {0xCA, 1254}, {0xCB, 1253},
};

std::string iconvName(int cp)
{
    switch (cp) {
    case 65001: return "UTF-8";
    case 10000: return "MACINTOSH";
    case 10007: return "MAC-CYRILLIC";
    case 10029: return "MAC-CENTRALEUROPE";
    case 10006: return "MACGREEK";
    default: return "CP" + std::to_string(cp);
    }
}

// iconv descriptors are costly to open; keep one per direction and code page.
class Converters {
public:
    iconv_t get(int cp, bool toUtf)
    {
        std::lock_guard lock(mutex_);
        auto key = std::make_pair(cp, toUtf);
        auto it = map_.find(key);
        if (it != map_.end())
            return it->second;
        std::string name = iconvName(cp);
        iconv_t cd = toUtf ? iconv_open("UTF-8", name.c_str()) : iconv_open(name.c_str(), "UTF-8");
        map_[key] = cd;
        return cd;
    }
    std::mutex &mutex() { return mutex_; }
    ~Converters()
    {
        for (auto &[k, cd] : map_)
            if (cd != iconv_t(-1))
                iconv_close(cd);
    }

private:
    std::mutex mutex_;
    std::map<std::pair<int, bool>, iconv_t> map_;
};

Converters &converters()
{
    static Converters c;
    return c;
}

bool isAscii(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// Runs iconv over `in`; an input byte that does not convert is replaced by `bad` and skipped.
std::string convert(iconv_t cd, std::string_view in, std::string_view bad)
{
    std::string out;
    out.reserve(in.size() * 2 + 4);
    char buf[1024];
    char *src = const_cast<char *>(in.data());
    size_t left = in.size();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    while (left > 0) {
        char *dst = buf;
        size_t room = sizeof buf;
        size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buf, size_t(dst - buf));
        if (r == size_t(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL: skip one input byte (for UTF-8 input, one whole character).
            size_t skip = 1;
            unsigned char c = static_cast<unsigned char>(*src);
            if (c >= 0xC0 && c < 0xE0) skip = 2;
            else if (c >= 0xE0 && c < 0xF0) skip = 3;
            else if (c >= 0xF0) skip = 4;
            if (skip > left) skip = left;
            src += skip;
            left -= skip;
            out += bad;
        }
    }
    char *dst = buf;
    size_t room = sizeof buf;
    iconv(cd, nullptr, nullptr, &dst, &room);
    out.append(buf, size_t(dst - buf));
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

int fromDriverName(std::string_view name)
{
    std::string n;
    for (char c : name) {
        if (c == 0)
            break;
        n += char(std::toupper(static_cast<unsigned char>(c)));
    }
    if (n.rfind("DBWIN", 0) == 0)
        return 1252;
    if (n == "DBHEBREW")
        return 1255;
    size_t start = n.rfind("FOX", 0) == 0 ? 3 : (n.rfind("DB", 0) == 0 ? 2 : std::string::npos);
    if (start == std::string::npos)
        return 0;
    int cp = 0, digits = 0;
    for (size_t i = start; i < n.size() && std::isdigit(static_cast<unsigned char>(n[i])) && digits < 5; ++i, ++digits)
        cp = cp * 10 + (n[i] - '0');
    return digits >= 3 ? cp : 0;
}

int fromCpgText(std::string_view text)
{
    std::string t;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            t += char(std::toupper(static_cast<unsigned char>(c)));
    if (t == "UTF-8" || t == "UTF8" || t == "65001")
        return 65001;
    if (t.rfind("ISO", 0) == 0 || t.rfind("88591", 0) == 0)
        return 1252; // Latin-1 is close enough to 1252 for names
    size_t i = 0;
    while (i < t.size() && !std::isdigit(static_cast<unsigned char>(t[i])))
        ++i;
    int cp = 0, digits = 0;
    for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])) && digits < 5; ++i, ++digits)
        cp = cp * 10 + (t[i] - '0');
    return digits >= 3 ? cp : 0;
}

int guessCyrillic(std::string_view sample)
{
    // In cp1251 the lower-case letters а..я are 0xE0..0xFF and the upper-case 0xC0..0xDF;
    // in cp866 а..п are 0xA0..0xAF, р..я 0xE0..0xEF, upper case 0x80..0x9F, and 0xB0..0xDF
    // are box-drawing characters that names and words do not use. Score both readings.
    long score866 = 0, score1251 = 0, high = 0;
    for (unsigned char c : sample) {
        if (c < 0x80)
            continue;
        ++high;
        if (c >= 0xA0 && c <= 0xAF) { score866 += 2; score1251 -= 1; }       // 866 а..п; 1251 rare signs
        else if (c >= 0xB0 && c <= 0xDF) { score866 -= 2; score1251 += (c >= 0xC0 ? 1 : 0); }
        else if (c >= 0xE0 && c <= 0xEF) { score866 += 1; score1251 += 2; }  // both lower case
        else if (c >= 0xF0) { score1251 += 2; score866 += (c <= 0xF1 ? 1 : -1); }
        else if (c >= 0x80 && c <= 0x9F) { score866 += 1; score1251 -= 2; }   // 866 upper; 1251 controls
    }
    if (high == 0)
        return 0;
    return score866 > score1251 ? 866 : 1251;
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
    return 1252;
}

std::string toUtf8(std::string_view bytes, int codePage)
{
    if (isAscii(bytes) || codePage == 65001)
        return std::string(bytes);
    if (codePage == 0)
        codePage = 1252;
    Converters &c = converters();
    iconv_t cd = c.get(codePage, true);
    if (cd == iconv_t(-1))
        cd = c.get(1252, true);
    std::lock_guard lock(c.mutex());
    return convert(cd, bytes, "\xEF\xBF\xBD");
}

std::string fromUtf8(std::string_view utf8, int codePage)
{
    if (isAscii(utf8) || codePage == 65001)
        return std::string(utf8);
    if (codePage == 0)
        codePage = 1252;
    Converters &c = converters();
    iconv_t cd = c.get(codePage, false);
    if (cd == iconv_t(-1))
        cd = c.get(1252, false);
    std::lock_guard lock(c.mutex());
    return convert(cd, utf8, "?");
}

std::string leftChars(std::string_view utf8, size_t n)
{
    size_t i = 0, count = 0;
    while (i < utf8.size() && count < n) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        i += len;
        ++count;
    }
    return std::string(utf8.substr(0, std::min(i, utf8.size())));
}

} // namespace tables::codepage

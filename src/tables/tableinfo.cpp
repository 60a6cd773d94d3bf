#include "tableinfo.h"

#include "bytes.h"
#include "codepage.h"
#include "dbffile.h"
#include "error.h"
#include "file.h"
#include "mdxindex.h"
#include "memofile.h"
#include "paradoxfile.h"
#include "paradoxfile_p.h"
#include "recordsource.h"
#include "transliterate.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

namespace tables {

namespace {

using bytes::le16;
using bytes::le32;

constexpr int64_t kSampleRecords = 64;      // records whose text judges the code page
constexpr int64_t kMdxWholeLimit = 16 << 20; // bigger index files are not checked whole

std::string hex2(unsigned v)
{
    char b[8];
    std::snprintf(b, sizeof b, "0x%02X", v & 0xFF);
    return b;
}

std::string fileNameOf(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderOf(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace fs = std::filesystem;
using FileTime = fs::file_time_type;

// A file time on the system clock. Where the library cannot convert between the clocks, the
// distance between their epochs is measured once, to the whole second.
std::chrono::system_clock::time_point systemTime(FileTime t)
{
    using namespace std::chrono;
    if constexpr (requires { FileTime::clock::to_sys(t); }) {
        return time_point_cast<system_clock::duration>(FileTime::clock::to_sys(t));
    } else {
        static const seconds offset = [] {
            const auto file = duration_cast<milliseconds>(FileTime::clock::now().time_since_epoch());
            const auto system = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
            return round<seconds>(system - file);
        }();
        return system_clock::time_point(duration_cast<system_clock::duration>(t.time_since_epoch() + offset));
    }
}

// "YYYY-MM-DDTHH:MM:SSZ", the seconds cut (not rounded) as the system shows them.
std::string isoUtc(FileTime t)
{
    using namespace std::chrono;
    const auto time = floor<seconds>(systemTime(t));
    const auto day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss clock(time - day);
    char b[40];
    std::snprintf(b, sizeof b, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()), unsigned(date.month()),
                  unsigned(date.day()), int(clock.hours().count()), int(clock.minutes().count()),
                  int(clock.seconds().count()));
    return b;
}

int64_t sizeOf(const std::string &path)
{
    std::error_code ec;
    const uintmax_t size = fs::file_size(fs::path(path), ec);
    return ec ? -1 : int64_t(size);
}

// Reads up to `n` bytes from the start of a file; empty when it cannot be read.
std::vector<uint8_t> head(const std::string &path, size_t n, int64_t offset = 0)
{
    try {
        File f(path, File::ReadOnly);
        std::vector<uint8_t> b(n);
        b.resize(f.readAt(b.data(), n, offset));
        return b;
    } catch (const Error &) {
        return {};
    }
}

// The regular files of a folder by their lower-case names, kept per folder while its modification
// time stays the same: the tables of one folder list it once, and looking up a table's companion
// files in any letter case costs no system call. Each thread that describes tables keeps its own.
struct Listing {
    int64_t mtime = -1;
    std::vector<std::pair<std::string, std::string>> files; // (lower-case name, name), sorted
};

const Listing &listing(const std::string &folder)
{
    thread_local std::map<std::string, Listing> cache;
    const std::string dir = folder.empty() ? "." : folder;
    std::error_code ec;
    const FileTime changed = fs::last_write_time(fs::path(dir), ec);
    // A folder whose time cannot be read is listed afresh each time: a kept listing could not be
    // known to be current.
    const int64_t mtime = ec ? -2 : int64_t(changed.time_since_epoch().count());
    if (cache.size() > 64)
        cache.clear();
    Listing &l = cache[dir];
    if (l.mtime != mtime || mtime == -2) {
        l.mtime = mtime;
        l.files.clear();
        // Links count as what they lead to; an entry that vanishes or cannot be looked at is left out.
        for (fs::directory_iterator it(fs::path(dir), ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code entryError;
            if (it->is_regular_file(entryError)) {
                const std::string name = it->path().filename().string();
                l.files.emplace_back(asciiLower(name), name);
            }
        }
        std::sort(l.files.begin(), l.files.end());
    }
    return l;
}

// The file beside a table named `stem + ext` in any letter case (the spelling as given first);
// the whole path, or empty.
std::string companion(const Listing &l, const std::string &folder, const std::string &stem, const std::string &ext)
{
    const std::string lower = asciiLower(stem + ext);
    auto it = std::lower_bound(l.files.begin(), l.files.end(), std::make_pair(lower, std::string()));
    std::string found;
    for (; it != l.files.end() && it->first == lower; ++it) {
        if (found.empty() || it->second == stem + ext)
            found = it->second;
    }
    return found.empty() ? found : folder + found;
}

// Calls `each` with every code point of UTF-8 text (a byte that starts no valid sequence gives
// U+FFFD).
template <typename Each>
void forEachCodePoint(std::string_view s, Each each)
{
    for (size_t i = 0; i < s.size();) {
        const size_t n = codepage::utf8Length(s, i);
        each(n ? codepage::decodeUtf8(s.substr(i), n) : char32_t(0xFFFD));
        i += n ? n : 1;
    }
}

// A letter of the alphabets our tables are written in: Latin with accents, Greek, and the
// Cyrillic of Russian, Ukrainian and Belarusian (not the Serbian and Macedonian letters, which
// a wrong code page makes of Russian text).
bool isLetter(char32_t c)
{
    if (c >= 0xC0 && c <= 0x24F)
        return c != 0xD7 && c != 0xF7;
    if (c >= 0x386 && c <= 0x3FF)
        return true;
    if (c >= 0x410 && c <= 0x44F)
        return true;
    switch (c) {
    case 0x401: case 0x451: case 0x404: case 0x454: case 0x406: case 0x456: case 0x407: case 0x457:
    case 0x40E: case 0x45E: case 0x490: case 0x491:
        return true;
    default:
        return false;
    }
}

void judgeLetters(CodePageVerdict &v, const std::string &decoded)
{
    forEachCodePoint(decoded, [&v](char32_t c) {
        if (c < 0x80)
            return;
        ++v.lettersChecked;
        if (isLetter(c))
            ++v.lettersFit;
    });
}

// The highest value an autoincrement field holds in the records the file has; 0 when none.
int64_t highestValue(const RecordSource &source, int field)
{
    int64_t high = 0;
    try {
        const int64_t n = source.recordCount();
        for (int64_t r = 0; r < n; ++r) {
            const Value v = source.value(r, field);
            if (v.kind == Value::Kind::Integer)
                high = std::max(high, v.integer);
        }
    } catch (const Error &) {
    }
    return high;
}

std::string fromTableStart(const std::string &warning)
{
    // Readers say "Файл «PATH»: what; what"; the findings are the parts after the file.
    const std::string lead = "»: ";
    const size_t at = warning.find(lead);
    return at == std::string::npos ? warning : warning.substr(at + lead.size());
}

std::vector<std::string> splitParts(const std::string &text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find("; ", start);
        std::string p = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!p.empty())
            parts.push_back(p);
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    return parts;
}

std::string capitalised(std::string s)
{
    // The first letter upper case, a full stop at the end (ASCII and Cyrillic lower letters).
    if (!s.empty() && s[0] >= 'a' && s[0] <= 'z')
        s[0] = char(s[0] - 'a' + 'A');
    else if (s.size() >= 2 && static_cast<unsigned char>(s[0]) == 0xD0 && static_cast<unsigned char>(s[1]) >= 0xB0 &&
             static_cast<unsigned char>(s[1]) <= 0xBF)
        s[1] = char(static_cast<unsigned char>(s[1]) - 0x20);
    else if (s.size() >= 2 && static_cast<unsigned char>(s[0]) == 0xD1 && static_cast<unsigned char>(s[1]) >= 0x80 &&
             static_cast<unsigned char>(s[1]) <= 0x8F) {
        s[0] = char(0xD0);
        s[1] = char(static_cast<unsigned char>(s[1]) + 0x20);
    }
    if (!s.empty() && s.back() != '.')
        s += '.';
    return s;
}

void addFinding(TableInfo &t, const std::string &text)
{
    const std::string f = capitalised(text);
    if (std::find(t.findings.begin(), t.findings.end(), f) == t.findings.end())
        t.findings.push_back(f);
}

// The file's size and time, and its first bytes (where nearly every header fits): one opening.
constexpr size_t kFirstBytes = 4096;

std::vector<uint8_t> fileFacts(TableInfo &t, bool wantBytes)
{
    std::vector<uint8_t> first;
    const fs::path path(t.path);
    std::error_code ec;
    if (wantBytes) {
        try {
            File f(t.path, File::ReadOnly);
            t.fileSize = f.sizeWhenOpened();
            first.resize(size_t(std::min<int64_t>(f.sizeWhenOpened(), int64_t(kFirstBytes))));
            first.resize(f.readAt(first.data(), first.size(), 0));
        } catch (const Error &) {
            first.clear(); // not a regular file, or unreadable: its size and time are still told
        }
    }
    if (!t.fileSize) {
        const uintmax_t size = fs::file_size(path, ec);
        if (!ec)
            t.fileSize = int64_t(size);
    }
    const FileTime changed = fs::last_write_time(path, ec);
    if (!ec)
        t.fileTime = isoUtc(changed);
    return first;
}

// The first `n` bytes of the table: from those read already when they are enough.
std::vector<uint8_t> tableHead(const TableInfo &t, const std::vector<uint8_t> &first, size_t n)
{
    if (n <= first.size())
        return std::vector<uint8_t>(first.begin(), first.begin() + std::ptrdiff_t(n));
    return head(t.path, n);
}

// ---------------------------------------------------------------- dBASE family

bool visualFoxPro(uint8_t v) { return v == 0x30 || v == 0x31 || v == 0x32; }
bool foxProFamily(uint8_t v) { return visualFoxPro(v) || v == 0xF5 || v == 0xFB; }
bool isMemoKind(char type, bool vfp) { return type == 'M' || type == 'G' || type == 'P' || type == 'W' || (type == 'B' && !vfp); }

std::string dbaseLevel(uint8_t v, bool hasCdx, bool mdx, uint8_t ldid, bool clipperWidths, bool binaryFields)
{
    switch (v) {
    case 0x02: return "FoxBASE";
    case 0xFB: return "FoxBASE";
    case 0xF5: return "FoxPro 2";
    case 0x30: case 0x31: case 0x32: return "Visual FoxPro";
    case 0x04: case 0x8C: return "dBASE 7";
    case 0x07: case 0x87: return "CA-Visual Objects";
    case 0xE5: return "Clipper/Harbour (SIX)";
    case 0x43: case 0x63: case 0x8E: case 0xCB: return "dBASE IV (SQL)";
    case 0x05: return "dBASE 5";
    case 0x7B: case 0x8B: return binaryFields ? "dBASE 5" : "dBASE IV";
    case 0x83: return clipperWidths ? "Clipper/Harbour" : "dBASE III+";
    case 0x03:
        if (clipperWidths)
            return "Clipper/Harbour";
        if (hasCdx)
            return "FoxPro 2";
        if (binaryFields)
            return "dBASE 5";
        return mdx || ldid != 0 ? "dBASE IV" : "dBASE III+";
    default: return "dBASE";
    }
}

struct RawDescriptor {
    std::string name;
    char type = 0;
    int length = 0;
    int decimals = 0;
    uint8_t flags = 0;
    int offset = 0;          // VFP: stored offset
    uint32_t autoNext = 0;
    int autoStep = 0;
};

void mdxTags(TableInfo &t, const std::string &path, CompanionInfo &c)
{
    const int64_t size = sizeOf(path);
    std::vector<uint8_t> h = head(path, 2048);
    if (h.size() < 2048) {
        c.state = CompanionInfo::Damaged;
        c.note = "файл индекса короче заголовка";
        return;
    }
    const int tags = le16(h.data() + 28);
    if (tags > 47) {
        c.state = CompanionInfo::Damaged;
        c.note = "в заголовке индекса неверное число тегов (" + std::to_string(tags) + ")";
        return;
    }
    for (int i = 0; i < tags; ++i) {
        const uint8_t *e = h.data() + 544 + 32 * i;
        const uint32_t page = le32(e);
        IndexTagInfo tag;
        tag.file = c.file;
        tag.name = std::string(reinterpret_cast<const char *>(e + 4), 11).c_str();
        const int64_t at = int64_t(page) * 512;
        std::vector<uint8_t> th = page >= 4 && at + 1024 <= size ? head(path, 1024, at) : std::vector<uint8_t>();
        if (th.size() < 1024) {
            c.state = CompanionInfo::Damaged;
            c.note = "заголовок тега " + tag.name + " за концом файла";
            t.indexTags.push_back(tag);
            continue;
        }
        tag.descending = (th[8] & 0x08) != 0;
        tag.unique = (th[8] & 0x40) != 0 || th[23] != 0;
        tag.expression = std::string(reinterpret_cast<const char *>(th.data() + 24), 221).c_str();
        if (th[245] == 1)
            tag.filter = std::string(reinterpret_cast<const char *>(th.data() + 762), 1024 - 762).c_str();
        t.indexTags.push_back(tag);
    }
}

// FoxPro compound index (.cdx): a directory at offset 0 (a compact index whose keys are the tag
// names and whose record numbers are the offsets of the tags' headers); each tag header holds
// the options, the order and the key and FOR texts. Node pointers are byte offsets.
void cdxTags(TableInfo &t, const std::string &path, CompanionInfo &c)
{
    const int64_t size = sizeOf(path);
    std::vector<uint8_t> dir = head(path, 1024);
    auto damaged = [&](const std::string &what) {
        c.state = CompanionInfo::Damaged;
        c.note = what;
    };
    if (dir.size() < 1024)
        return damaged("файл индекса короче заголовка");
    const int keyLen = le16(dir.data() + 12);
    if (keyLen < 1 || keyLen > 240)
        return damaged("в заголовке индекса неверная длина ключа");
    // Down the leftmost branch to the first leaf, then along the leaves to the right.
    uint32_t node = le32(dir.data());
    std::vector<uint8_t> n;
    for (int depth = 0;; ++depth) {
        if (depth > 16 || int64_t(node) + 512 > size)
            return damaged("узел каталога тегов за концом файла");
        n = head(path, 512, node);
        if (n.size() < 512)
            return damaged("узел каталога тегов за концом файла");
        if (le16(n.data()) & 0x02)
            break;
        if (le16(n.data() + 2) == 0)
            return;
        node = bytes::be32(n.data() + 12 + keyLen + 4);
    }
    for (int leaves = 0; leaves < 256; ++leaves) {
        const int keys = le16(n.data() + 2);
        const uint32_t recMask = le32(n.data() + 14);
        const int recBits = n[20], dupBits = n[21], trailBits = n[22], bytesPer = n[23];
        if (bytesPer < 1 || bytesPer > 8 || recBits + dupBits + trailBits > 64)
            return damaged("узел каталога тегов повреждён");
        int keyEnd = 512;
        std::string previous;
        for (int k = 0; k < keys; ++k) {
            if (24 + (k + 1) * bytesPer > keyEnd)
                return damaged("узел каталога тегов повреждён");
            uint64_t item = 0;
            for (int b = 0; b < bytesPer; ++b)
                item |= uint64_t(n[size_t(24 + k * bytesPer + b)]) << (8 * b);
            const uint32_t headerAt = uint32_t(item) & recMask;
            const int dup = int((item >> recBits) & ((1u << dupBits) - 1));
            const int trail = int((item >> (recBits + dupBits)) & ((1u << trailBits) - 1));
            const int stored = keyLen - dup - trail;
            if (stored < 0 || dup > int(previous.size()) || keyEnd - stored < 24 + keys * bytesPer)
                return damaged("узел каталога тегов повреждён");
            keyEnd -= stored;
            std::string name = previous.substr(0, size_t(dup)) +
                               std::string(reinterpret_cast<const char *>(n.data() + keyEnd), size_t(stored));
            previous = name;
            while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
                name.pop_back();
            IndexTagInfo tag;
            tag.file = c.file;
            tag.name = name;
            std::vector<uint8_t> th = int64_t(headerAt) + 1024 <= size ? head(path, 1024, headerAt) : std::vector<uint8_t>();
            if (th.size() < 1024) {
                damaged("заголовок тега " + name + " за концом файла");
            } else {
                const uint8_t options = th[14];
                tag.unique = (options & 0x01) != 0;
                tag.descending = le16(th.data() + 502) != 0;
                const int forLen = le16(th.data() + 506);
                const int exprLen = le16(th.data() + 510);
                if (exprLen > 0 && exprLen <= 512)
                    tag.expression = std::string(reinterpret_cast<const char *>(th.data() + 512), size_t(exprLen)).c_str();
                if ((options & 0x08) && forLen > 0 && exprLen + forLen <= 512)
                    tag.filter = std::string(reinterpret_cast<const char *>(th.data() + 512 + exprLen), size_t(forLen)).c_str();
            }
            t.indexTags.push_back(tag);
        }
        const uint32_t right = le32(n.data() + 8);
        if (right == 0xFFFFFFFFu)
            return;
        if (int64_t(right) + 512 > size)
            return damaged("узел каталога тегов за концом файла");
        n = head(path, 512, right);
        if (n.size() < 512 || !(le16(n.data()) & 0x02))
            return damaged("узел каталога тегов повреждён");
    }
}

void describeDbase(TableInfo &t, const DbfFile &dbf, int forced, const std::vector<uint8_t> &first)
{
    t.format = "dBASE";
    const uint8_t v = dbf.version();
    t.versionByte = v;
    const int64_t fileSize = t.fileSize.value_or(0);
    // The header the reader read; dBASE II's from the file.
    const std::vector<uint8_t> dbase2Header =
        dbf.headerBytes().empty() ? tableHead(t, first, size_t(std::min<int64_t>(fileSize, 521))) : std::vector<uint8_t>();
    const std::vector<uint8_t> &h = dbf.headerBytes().empty() ? dbase2Header : dbf.headerBytes();
    const bool vfp = visualFoxPro(v);
    const bool level7 = (v & 7) == 4;
    const int start = level7 ? 68 : 32, size = level7 ? 48 : 32;
    const PathParts parts = splitPath(t.path);
    const std::string folder = parts.folder, stem = parts.stem;
    const Listing &files = listing(folder);

    int64_t headerLength = h.size() >= 12 ? le16(h.data() + 8) : 0;
    int64_t recordLength = h.size() >= 12 ? le16(h.data() + 10) : 0;
    int64_t stated = h.size() >= 8 ? le32(h.data() + 4) : 0;
    const bool dbase2 = v == 0x02 && (headerLength < start + 1 || headerLength > fileSize || recordLength < 1);
    std::vector<RawDescriptor> raw;
    bool terminated = false;
    if (dbase2) {
        stated = h.size() >= 3 ? le16(h.data() + 1) : 0;
        recordLength = h.size() >= 8 ? le16(h.data() + 6) : 0;
        headerLength = 521;
        t.level = "dBASE II";
        for (int pos = 8; pos + 16 <= int(std::min<size_t>(h.size(), 520)) && h[size_t(pos)] != 0x0D; pos += 16) {
            RawDescriptor d;
            d.type = char(h[size_t(pos) + 11]);
            raw.push_back(d);
        }
        terminated = true;
    } else {
        for (int pos = start; pos + 1 <= headerLength && size_t(pos) < h.size(); pos += size) {
            const uint8_t *d = h.data() + pos;
            if (d[0] == 0x0D) {
                terminated = true;
                break;
            }
            if (pos + size > headerLength || size_t(pos + size) > h.size())
                break;
            RawDescriptor r;
            r.type = char(level7 ? d[32] : d[11]);
            r.length = level7 ? d[33] : d[16];
            r.decimals = level7 ? d[34] : d[17];
            if (vfp) {
                r.flags = d[18];
                r.offset = int(le32(d + 12));
                r.autoNext = le32(d + 19);
                r.autoStep = d[23];
            } else if (level7) {
                r.autoNext = le32(d + 42);
            }
            raw.push_back(r);
        }
    }
    t.headerRecords = stated;
    t.headerLength = headerLength;
    t.recordLength = recordLength;
    t.fileRecords = dbf.recordCount();
    if (!dbase2 && h.size() >= 32) {
        const int y = h[1], m = h[2], d = h[3];
        if (y || m || d) {
            // dBASE writes the year less 1900, FoxPro and many others the year's last two digits:
            // no table was written before 1980.
            const int year = y < 80 ? 2000 + y : 1900 + y;
            if (m >= 1 && m <= 12 && d >= 1 && d <= 31) {
                char b[16];
                std::snprintf(b, sizeof b, "%04d-%02d-%02d", year, m, d);
                t.lastUpdate = b;
            } else {
                addFinding(t, "в заголовке неверная дата последнего изменения (" + std::to_string(d) + "." +
                                  std::to_string(m) + "." + std::to_string(year) + ")");
            }
        }
        t.encrypted = !vfp && h[15] == 1;
    }
    const uint8_t flags28 = h.size() >= 32 && !dbase2 ? h[28] : 0;
    const uint8_t ldid = h.size() >= 32 && !dbase2 ? h[29] : 0;

    // Fields: the reader's decoded names and widths, in descriptor order; VFP system columns
    // (which the reader does not present) from their descriptors.
    const FieldDefs &defs = dbf.fields();
    t.fields.reserve(raw.size());
    size_t next = 0;
    bool clipperWidths = false, binaryFields = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        const RawDescriptor &r = raw[i];
        FieldInfo f;
        f.number = int(i) + 1;
        if (vfp && (r.flags & 0x01)) {
            f.system = true;
            f.name = std::string(reinterpret_cast<const char *>(h.data() + start + size * int(i)), 11).c_str();
            f.nativeCode = std::string(1, r.type);
            f.nativeName = dbaseTypeName(r.type, vfp);
            f.width = r.length;
            f.offset = r.offset;
            f.binary = true;
            t.fields.push_back(std::move(f));
            continue;
        }
        if (next >= defs.size())
            break;
        const FieldDef &d = defs[next++];
        f.name = d.name;
        f.type = d.type;
        f.nativeCode = std::string(1, d.nativeType);
        f.nativeName = dbaseTypeName(d.nativeType, vfp);
        f.width = d.width;
        f.decimals = d.decimals;
        f.offset = d.offset;
        f.nullable = d.nullable;
        f.binary = d.binary || d.nativeType == 'Q' || d.nativeType == 'W';
        if (d.nativeType == 'C' && d.width != r.length)
            clipperWidths = true;
        if (!vfp && (d.nativeType == 'B' || d.nativeType == 'G'))
            binaryFields = true;
        if (vfp && (r.flags & 0x0C) == 0x0C) {
            f.autoIncrement = true;
            f.autoNext = int64_t(r.autoNext);
            f.autoStep = int64_t(r.autoStep);
        } else if (d.nativeType == '+') {
            // dBASE 7 keeps the next value in the descriptor; some writers leave it 0.
            f.autoIncrement = true;
            f.autoNext = std::max<int64_t>(level7 ? int64_t(r.autoNext) : 0, highestValue(dbf, int(next - 1)) + 1);
            f.autoStep = 1;
        }
        t.fields.push_back(std::move(f));
    }

    // Companions.
    const bool foxFamily = foxProFamily(v);
    const std::string cdx = companion(files, folder, stem, ".cdx");
    t.level = dbase2 ? "dBASE II" : dbaseLevel(v, !cdx.empty(), flags28 == 1, ldid, clipperWidths, binaryFields);
    const bool fox = foxFamily || t.level == "FoxPro 2";
    bool memoFields = false;
    for (const FieldInfo &f : t.fields)
        memoFields = memoFields || (!f.system && isMemoKind(f.nativeCode[0], vfp));
    const std::string memoExt = fox ? ".fpt" : ".dbt";
    const std::string memoPath = companion(files, folder, stem, memoExt);
    int64_t memoBlock = 0, memoSize = 0;
    if (memoFields || !memoPath.empty()) {
        CompanionInfo c;
        c.kind = "memo";
        c.file = memoPath.empty() ? stem + (parts.extension == ".DBF" || stem == asciiUpper(stem) ? asciiUpper(memoExt) : memoExt)
                                  : fileNameOf(memoPath);
        if (memoPath.empty()) {
            c.state = CompanionInfo::Missing;
            addFinding(t, "нет файла примечаний «" + c.file + "», значения полей примечаний недоступны");
        } else {
            try {
                MemoFile m(memoPath, fox ? MemoFile::Fpt : v == 0x83 ? MemoFile::DbtIII : MemoFile::DbtIV);
                memoBlock = m.blockSize();
                memoSize = sizeOf(memoPath);
            } catch (const Error &e) {
                c.state = CompanionInfo::Damaged;
                c.note = fromTableStart(e.what());
                addFinding(t, "файл примечаний «" + c.file + "» повреждён: " + c.note);
            }
        }
        t.companions.push_back(c);
    }
    const std::string mdx = companion(files, folder, stem, ".mdx");
    if (!fox && (flags28 == 1 || !mdx.empty())) {
        CompanionInfo c;
        c.kind = "index";
        c.file = mdx.empty() ? stem + ".MDX" : fileNameOf(mdx);
        if (mdx.empty()) {
            c.state = CompanionInfo::Missing;
            addFinding(t, "в заголовке отмечен производственный индекс, но файла «" + c.file + "» нет");
        } else {
            mdxTags(t, mdx, c);
            if (c.state == CompanionInfo::Found && sizeOf(mdx) <= kMdxWholeLimit) {
                try {
                    MdxIndex index(mdx, false);
                    for (int i = 0; i < index.tagCount(); ++i)
                        index.walk(i);
                } catch (const Error &e) {
                    c.state = CompanionInfo::Damaged;
                    c.note = fromTableStart(e.what());
                }
            }
            if (c.state == CompanionInfo::Damaged)
                addFinding(t, "индекс «" + c.file + "» повреждён: " + c.note);
        }
        t.companions.push_back(c);
    }
    if (fox && ((flags28 & 0x01) || !cdx.empty())) {
        CompanionInfo c;
        c.kind = "index";
        c.file = cdx.empty() ? stem + ".CDX" : fileNameOf(cdx);
        if (cdx.empty()) {
            c.state = CompanionInfo::Missing;
            addFinding(t, "в заголовке отмечен структурный индекс, но файла «" + c.file + "» нет");
        } else {
            cdxTags(t, cdx, c);
            if (c.state == CompanionInfo::Damaged)
                addFinding(t, "индекс «" + c.file + "» повреждён: " + c.note);
        }
        t.companions.push_back(c);
    }
    const std::string cpg = companion(files, folder, stem, ".cpg");
    std::string cpgText;
    if (!cpg.empty()) {
        CompanionInfo c;
        c.kind = "cpg";
        c.file = fileNameOf(cpg);
        std::vector<uint8_t> b = head(cpg, 63);
        cpgText.assign(b.begin(), b.end());
        while (!cpgText.empty() && (cpgText.back() == '\n' || cpgText.back() == '\r' || cpgText.back() == ' '))
            cpgText.pop_back();
        if (codepage::fromCpgText(cpgText) == 0) {
            c.state = CompanionInfo::Damaged;
            c.note = "кодовая страница «" + cpgText + "» не распознана";
        }
        t.companions.push_back(c);
    }

    // The code page and where it came from. The reader's choice is asked for only where there is
    // text outside ASCII for it to decide (a table of ASCII text reads the same in any of them).
    CodePageVerdict &cp = t.codePage;
    std::string sample;
    for (const FieldDef &d : defs)
        sample += d.name + ' ';
    std::string rawSample;
    const int64_t records = t.fileRecords.value_or(0);
    try {
        for (int64_t r = 0; r < std::min(records, kSampleRecords); ++r)
            for (size_t i = 0; i < defs.size(); ++i)
                if ((defs[i].nativeType == 'C' || defs[i].nativeType == 'V') && !defs[i].binary)
                    rawSample.append(dbf.rawField(r, int(i))).push_back(' ');
    } catch (const Error &) {
    }
    const bool ascii = std::all_of(sample.begin(), sample.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }) &&
                       std::all_of(rawSample.begin(), rawSample.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    const std::string driverName = level7 && h.size() >= 64 ? std::string(reinterpret_cast<const char *>(h.data() + 32), 32).c_str() : "";
    if (!ascii || forced > 0) {
        cp.codePage = dbf.codePage();
    } else {
        cp.codePage = level7 ? codepage::fromDriverName(driverName) : 0;
        if (cp.codePage == 0)
            cp.codePage = codepage::fromLanguageDriver(ldid);
        if (cp.codePage == 0 && !cpgText.empty())
            cp.codePage = codepage::fromCpgText(cpgText);
        if (cp.codePage == 0)
            cp.codePage = codepage::localeDefault();
    }
    sample += codepage::toUtf8(rawSample, cp.codePage);
    judgeLetters(cp, sample);
    if (forced > 0) {
        cp.source = CodePageVerdict::User;
    } else if (level7 && codepage::fromDriverName(driverName) != 0) {
        cp.source = CodePageVerdict::Header;
        cp.mark = driverName;
    } else if (codepage::fromLanguageDriver(ldid) != 0) {
        cp.source = CodePageVerdict::Header;
        cp.mark = hex2(ldid);
    } else if (!cpgText.empty() && codepage::fromCpgText(cpgText) != 0) {
        cp.source = CodePageVerdict::CpgFile;
        cp.mark = cpgText;
    } else if (codepage::guessCyrillic(rawSample) != 0 || cp.lettersChecked > 0) {
        cp.source = codepage::guessCyrillic(rawSample) != 0 || cp.codePage != codepage::localeDefault()
                        ? CodePageVerdict::Text : CodePageVerdict::Locale;
    } else {
        cp.source = CodePageVerdict::Locale;
    }
    t.codePageKnown = true;

    // Health of the record area.
    if (!dbase2) {
        if (!terminated)
            addFinding(t, "в заголовке нет признака конца описаний полей (0Dh)");
        int64_t used = 1;
        for (const FieldInfo &f : t.fields)
            used += f.width;
        if (used < recordLength)
            addFinding(t, "длина записи " + std::to_string(recordLength) + " байт больше суммы длин полей (" +
                              std::to_string(used) + " байт с признаком удаления)");
    }
    if (recordLength > 0 && !dbase2) {
        const int64_t fitting = std::max<int64_t>(0, (fileSize - headerLength) / recordLength);
        if (stated > fitting)
            addFinding(t, "в заголовке указано записей: " + std::to_string(stated) + ", а в файле помещается только " +
                              std::to_string(fitting) + " (файл обрезан или повреждён)");
        const int64_t after = fileSize - headerLength - stated * recordLength;
        if (stated <= fitting && after >= recordLength)
            addFinding(t, "после последней записи по заголовку в файле ещё " + std::to_string(after) +
                              " байт (заголовок насчитывает записей меньше, чем есть)");
        if (stated <= fitting && after == 0 && !dbase2)
            addFinding(t, "нет признака конца файла (1Ah) после последней записи");
    }
    int64_t deleted = 0;
    constexpr uint64_t kFarBlock = uint64_t(1) << 40;
    int64_t badMemo = 0, firstBadMemo = 0;
    std::vector<size_t> memoFieldsAt;
    for (size_t i = 0; i < defs.size(); ++i)
        if (isMemoKind(defs[i].nativeType, vfp))
            memoFieldsAt.push_back(i);
    try {
        for (int64_t r = 0; r < records; ++r) {
            if (dbf.isDeleted(r))
                ++deleted;
            if (memoBlock <= 0)
                continue;
            for (size_t i : memoFieldsAt) {
                const std::string b = dbf.rawField(r, int(i));
                uint64_t block = 0;
                if (b.size() == 4) {
                    block = le32(reinterpret_cast<const uint8_t *>(b.data()));
                } else {
                    bool digits = false;
                    for (char ch : b) {
                        if (ch >= '0' && ch <= '9') {
                            block = block * 10 + uint64_t(ch - '0');
                            digits = true;
                            if (block > kFarBlock)
                                break; // past any memo file; more digits would overflow
                        } else if (digits && ch != ' ') {
                            break;
                        }
                    }
                }
                // Past the end: the block starts at or after the file's size.
                if (block != 0 && block >= (uint64_t(std::max<int64_t>(memoSize, 0)) + uint64_t(memoBlock) - 1) / uint64_t(memoBlock)) {
                    if (badMemo++ == 0)
                        firstBadMemo = r + 1;
                }
            }
        }
        t.deletedRecords = deleted;
    } catch (const Error &e) {
        addFinding(t, fromTableStart(e.what()));
    }
    if (badMemo > 0)
        addFinding(t, "ссылок на примечания за концом файла примечаний: " + std::to_string(badMemo) +
                          " (первая в записи " + std::to_string(firstBadMemo) + ")");
}

// ---------------------------------------------------------------- Paradox

std::string paradoxLevel(int versionId)
{
    if (versionId == 3)
        return "Paradox 3.0";
    if (versionId == 4)
        return "Paradox 3.5";
    if (versionId <= 9)
        return "Paradox 4.x";
    if (versionId <= 11)
        return "Paradox 5.x";
    return "Paradox 7.x";
}

bool hexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

void describeParadox(TableInfo &t, const ParadoxFile &px, int forced, const std::vector<uint8_t> &first)
{
    t.format = "Paradox";
    const int64_t fileSize = t.fileSize.value_or(0);
    std::vector<uint8_t> h = tableHead(t, first, 0x78);
    if (h.size() < 0x58)
        return;
    const int headerSize = le16(h.data() + 2);
    h = tableHead(t, first, size_t(std::min<int64_t>(headerSize, fileSize)));
    const int versionId = h[0x39];
    t.versionByte = versionId;
    t.level = paradoxLevel(versionId);
    t.headerLength = headerSize;
    t.recordLength = le16(h.data());
    t.blockSize = int64_t(px.blockSize());
    t.headerRecords = int64_t(le32(h.data() + 6));
    t.fileRecords = px.recordCount();
    t.encrypted = px.encrypted();
    const bool keyed = h[4] == 0;
    const int keyFields = keyed ? std::max<int>(0, int16_t(le16(h.data() + 0x23))) : 0;
    const uint32_t autoInc = le32(h.data() + 0x49);

    const FieldDefs &defs = px.fields();
    for (size_t i = 0; i < defs.size(); ++i) {
        const FieldDef &d = defs[i];
        const uint8_t code = uint8_t(d.nativeType);
        FieldInfo f;
        f.number = int(i) + 1;
        f.name = d.name;
        f.type = d.type;
        const char letter = paradoxTypeLetter(code);
        f.nativeCode = letter ? std::string(1, letter) : hex2(code);
        f.nativeName = paradoxTypeName(code);
        f.width = d.width;
        f.decimals = d.decimals;
        f.offset = d.offset;
        f.binary = code == paradox::tcBytes || code == paradox::tcBlob || code == paradox::tcOle || code == paradox::tcGraphic;
        if (code == paradox::tcAutoInc) {
            // The header keeps the last value given; some writers leave it 0.
            f.autoIncrement = true;
            f.autoNext = std::max<int64_t>(autoInc, highestValue(px, int(i))) + 1;
            f.autoStep = 1;
        }
        f.key = int(i) < keyFields;
        if (f.key)
            t.keyFields.push_back(f.name);
        t.fields.push_back(f);
    }

    // Code page.
    CodePageVerdict &cp = t.codePage;
    cp.codePage = px.codePage();
    const int stated = versionId >= 5 && h.size() >= 0x6C ? le16(h.data() + 0x6A) : 0;
    std::string sample, rawSample;
    for (const FieldDef &d : defs)
        sample += d.name + ' ';
    {
        try {
            for (int64_t r = 0; r < std::min(px.recordCount(), kSampleRecords); ++r)
                for (size_t i = 0; i < defs.size(); ++i)
                    if (uint8_t(defs[i].nativeType) == paradox::tcAlpha) {
                        const Value v = px.value(r, int(i));
                        if (v.kind == Value::Kind::Text)
                            sample += v.text + ' ';
                    }
        } catch (const Error &) {
        }
    }
    judgeLetters(cp, sample);
    rawSample = codepage::fromUtf8(sample, cp.codePage);
    if (forced > 0) {
        cp.source = CodePageVerdict::User;
    } else if (stated != 0) {
        cp.source = CodePageVerdict::Header;
        cp.mark = std::to_string(stated);
    } else if (codepage::guessCyrillic(rawSample) != 0) {
        cp.source = CodePageVerdict::Text;
    } else {
        cp.source = CodePageVerdict::Locale;
    }
    t.codePageKnown = true;

    // Findings the reader made while walking the blocks (the password note is a fact, not damage).
    for (const std::string &p : splitParts(fromTableStart(px.warning())))
        if (p.find("паролем") == std::string::npos && p.find("нет файла MB") == std::string::npos)
            addFinding(t, p);
    if (px.blockSize() > 0 && (fileSize - headerSize) % px.blockSize() != 0)
        addFinding(t, "размер файла не кратен размеру блока (" + std::to_string(px.blockSize()) +
                          " байт): последний блок неполон");

    // Companions: primary index, BLOB file, validity, secondary indexes, view and family files.
    const PathParts parts = splitPath(t.path);
    const Listing &files = listing(parts.folder);
    const bool upper = parts.extension == ".db" && fileNameOf(t.path).find(".DB") != std::string::npos;
    auto expected = [&](const std::string &ext) { return parts.stem + (upper ? asciiUpper(ext) : ext); };
    bool blobs = std::any_of(defs.begin(), defs.end(), [](const FieldDef &d) { return paradox::isBlob(uint8_t(d.nativeType)); });
    const std::string pxPath = companion(files, parts.folder, parts.stem, ".px");
    if (keyed || !pxPath.empty()) {
        CompanionInfo c;
        c.kind = "primary-index";
        c.file = pxPath.empty() ? expected(".px") : fileNameOf(pxPath);
        if (pxPath.empty()) {
            c.state = CompanionInfo::Missing;
            addFinding(t, "таблица ключевая, но файла первичного индекса «" + c.file + "» нет");
        } else {
            std::vector<uint8_t> b = head(pxPath, 0x58);
            if (b.size() < 0x58 || b[4] != 1) {
                c.state = CompanionInfo::Damaged;
                c.note = "это не первичный индекс Paradox";
                addFinding(t, "первичный индекс «" + c.file + "» повреждён");
            }
        }
        t.companions.push_back(c);
    }
    const std::string mbPath = companion(files, parts.folder, parts.stem, ".mb");
    if (blobs || !mbPath.empty()) {
        CompanionInfo c;
        c.kind = "blob";
        c.file = mbPath.empty() ? expected(".mb") : fileNameOf(mbPath);
        if (mbPath.empty()) {
            c.state = CompanionInfo::Missing;
            addFinding(t, "нет файла MB «" + c.file + "», длинные значения полей BLOB недоступны");
        } else if (sizeOf(mbPath) < 4096) {
            c.state = CompanionInfo::Damaged;
            c.note = "файл MB короче своего заголовка (4096 байт)";
            addFinding(t, "файл MB «" + c.file + "» повреждён");
        }
        t.companions.push_back(c);
    }
    const std::string lowerStem = asciiLower(parts.stem) + ".";
    for (auto it = std::lower_bound(files.files.begin(), files.files.end(), std::make_pair(lowerStem, std::string()));
         it != files.files.end() && it->first.compare(0, lowerStem.size(), lowerStem) == 0; ++it) {
        const std::string &entry = it->second;
        const size_t dot = entry.find_last_of('.');
        if (dot + 1 != lowerStem.size())
            continue;
        const std::string ext = asciiLower(entry.substr(dot + 1));
        CompanionInfo c;
        c.file = entry;
        if (ext == "val")
            c.kind = "validity";
        else if (ext == "tv")
            c.kind = "view";
        else if (ext == "fam")
            c.kind = "family";
        else if (ext.size() == 3 && (ext[0] == 'x' || ext[0] == 'y') &&
                 ((hexDigit(ext[1]) && hexDigit(ext[2])) || (ext[1] == 'g' && hexDigit(ext[2]))))
            c.kind = "secondary-index";
        else
            continue;
        if (c.kind == "secondary-index") {
            std::vector<uint8_t> b = head(parts.folder + entry, 0x58);
            const int type = b.size() >= 0x58 ? b[4] : -1;
            const bool xFile = ext[0] == 'x';
            const bool fits = xFile ? (type == 3 || type == 5 || type == 6 || type == 8) : (type == 4 || type == 7);
            if (!fits) {
                c.state = CompanionInfo::Damaged;
                c.note = "это не вторичный индекс Paradox";
                addFinding(t, "вторичный индекс «" + entry + "» повреждён");
            } else if (xFile && ext[1] != 'g') {
                const int field = b[0x15];
                IndexTagInfo tag;
                tag.file = entry;
                tag.name = entry.substr(dot + 1);
                if (field >= 1 && size_t(field) <= defs.size())
                    tag.expression = defs[size_t(field - 1)].name;
                t.indexTags.push_back(tag);
            }
        }
        t.companions.push_back(c);
    }
}

} // namespace

std::string dbaseTypeName(char letter, bool vfp)
{
    switch (letter) {
    case 'C': return "Character";
    case 'V': return "Varchar";
    case 'N': return "Numeric";
    case 'F': return "Float";
    case 'D': return "Date";
    case 'L': return "Logical";
    case 'M': return "Memo";
    case 'B': return vfp ? "Double" : "Binary";
    case 'G': return "General (OLE)";
    case 'P': return "Picture";
    case 'W': return "Blob";
    case 'Q': return "Varbinary";
    case 'Y': return "Currency";
    case 'T': return "DateTime";
    case '@': return "Timestamp";
    case 'I': return "Integer";
    case '+': return "Autoincrement";
    case 'O': return "Double";
    case '0': return "NullFlags";
    default: return "Unknown";
    }
}

char paradoxTypeLetter(uint8_t code)
{
    switch (code) {
    case paradox::tcAlpha: return 'A';
    case paradox::tcDate: return 'D';
    case paradox::tcShort: return 'S';
    case paradox::tcLong: return 'I';
    case paradox::tcMoney: return '$';
    case paradox::tcNumber: return 'N';
    case paradox::tcLogical: return 'L';
    case paradox::tcMemo: return 'M';
    case paradox::tcBlob: return 'B';
    case paradox::tcFmtMemo: return 'F';
    case paradox::tcOle: return 'O';
    case paradox::tcGraphic: return 'G';
    case paradox::tcTime: return 'T';
    case paradox::tcTimestamp: return '@';
    case paradox::tcAutoInc: return '+';
    case paradox::tcBcd: return '#';
    case paradox::tcBytes: return 'Y';
    default: return 0;
    }
}

std::string paradoxTypeName(uint8_t code)
{
    switch (code) {
    case paradox::tcAlpha: return "Alpha";
    case paradox::tcDate: return "Date";
    case paradox::tcShort: return "Short";
    case paradox::tcLong: return "Long Integer";
    case paradox::tcMoney: return "Money";
    case paradox::tcNumber: return "Number";
    case paradox::tcLogical: return "Logical";
    case paradox::tcMemo: return "Memo";
    case paradox::tcBlob: return "Binary";
    case paradox::tcFmtMemo: return "Formatted Memo";
    case paradox::tcOle: return "OLE";
    case paradox::tcGraphic: return "Graphic";
    case paradox::tcTime: return "Time";
    case paradox::tcTimestamp: return "Timestamp";
    case paradox::tcAutoInc: return "Autoincrement";
    case paradox::tcBcd: return "BCD";
    case paradox::tcBytes: return "Bytes";
    default: return "Unknown";
    }
}

TableInfo describeTable(const std::string &path, const RecordSource &source, int codePage)
{
    TableInfo t;
    t.path = path;
    t.folder = folderOf(path);
    t.name = fileNameOf(path);
    const auto *dbase = dynamic_cast<const DbfFile *>(&source);
    const std::vector<uint8_t> first = fileFacts(t, !dbase || dbase->headerBytes().empty());
    try {
        if (const auto *dbf = dynamic_cast<const DbfFile *>(&source))
            describeDbase(t, *dbf, codePage, first);
        else if (const auto *px = dynamic_cast<const ParadoxFile *>(&source))
            describeParadox(t, *px, codePage, first);
    } catch (const std::exception &e) {
        // What was learnt stays; the rest is said once.
        addFinding(t, fromTableStart(e.what()));
    }
    return t;
}

TableInfo describeTable(const std::string &path, int codePage)
{
    std::unique_ptr<RecordSource> source;
    try {
        source = openRecordSource(path, ttDefault, codePage);
    } catch (const std::exception &e) {
        TableInfo t;
        t.path = path;
        t.folder = folderOf(path);
        t.name = fileNameOf(path);
        fileFacts(t, false);
        t.error = e.what();
        return t;
    }
    return describeTable(path, *source, codePage);
}

} // namespace tables

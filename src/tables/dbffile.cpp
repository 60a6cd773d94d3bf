#include "dbffile.h"

#include "bytes.h"
#include "codepage.h"
#include "error.h"
#include "memofile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <ctime>

namespace tables {

namespace {

constexpr size_t kBlockBytes = 64 * 1024;   // one cache block of records
constexpr size_t kCacheBlocks = 8;
constexpr size_t kMemoLimit = 64 * 1024;    // memo text kept for display
constexpr int64_t kDayOfJdn = 1721425;      // Julian day number - proleptic Gregorian day number
constexpr double kDayMs = 86400000.0;


std::string trimRight(std::string_view s)
{
    size_t n = s.size();
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\0'))
        --n;
    return std::string(s.substr(0, n));
}

std::string trim(std::string_view s)
{
    size_t b = 0;
    while (b < s.size() && (s[b] == ' ' || s[b] == '\0'))
        ++b;
    return trimRight(s.substr(b));
}

// Day number (1 = 0001-01-01) of a proleptic Gregorian date; 0 when the date is impossible.
int64_t dayNumber(int y, int m, int d)
{
    static const int mdays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1)
        return 0;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > mdays[m - 1] + (m == 2 && leap ? 1 : 0))
        return 0;
    int64_t yy = y - 1;
    int64_t days = yy * 365 + yy / 4 - yy / 100 + yy / 400;
    for (int i = 1; i < m; ++i)
        days += mdays[i - 1] + (i == 2 && leap ? 1 : 0);
    return days + d;
}

// Big-endian integer with the sign bit flipped (dBASE 7 I and +).
int64_t flippedBe32(const uint8_t *p)
{
    return int64_t(int32_t(bytes::be32(p) ^ 0x80000000u));
}

// Big-endian double stored so that bytes sort: positives have the sign bit set, negatives
// are all inverted (dBASE 7 O).
double sortableDouble(const uint8_t *p)
{
    uint64_t bits = bytes::be64(p);
    if (bits & 0x8000000000000000ull)
        bits &= ~0x8000000000000000ull;
    else
        bits = ~bits;
    return bytes::doubleFromBits(bits);
}

std::string hexByte(uint8_t v)
{
    char b[4];
    std::snprintf(b, sizeof b, "%02X", v);
    return b;
}

bool allBytes(std::string_view s, char c)
{
    return std::all_of(s.begin(), s.end(), [c](char x) { return x == c; });
}

// Numbers in general format: as few digits as needed, no trailing zeros.
std::string generalNumber(std::string_view text)
{
    std::string t = trim(text);
    if (t.empty())
        return t;
    double v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size())
        return t;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

} // namespace

DbfFile::DbfFile(const std::string &path, bool writable, int codePage)
    : file_(path, writable ? File::ReadWrite : File::ReadOnly), writable_(writable)
{
    if (codePage > 0)
        codePage_ = codePage;
    parseHeader();
    // The writer builds records of text-stored fields and keeps the header of levels 3 to 5:
    // it would spoil a dBASE II header and the binary fields of the other layouts.
    if (writable && (dbase2_ || level7_ || foxPro_))
        failFile(path, "таблицу этого вида (код версии 0x" + hexByte(version_) +
                           ") можно только читать, изменять её нельзя");
}

DbfFile::~DbfFile() = default;

void DbfFile::parseHeader()
{
    const std::string &path = file_.path();
    fileSize_ = file_.sizeWhenOpened();
    if (fileSize_ == 0)
        failFile(path, "файл пуст, это не таблица dBASE");
    if (fileSize_ < 32)
        failFile(path, "файл слишком короткий для таблицы dBASE (" + std::to_string(fileSize_) + " байт)");

    // One read brings the whole header of nearly every table; a longer one is read again below.
    std::vector<uint8_t> head(size_t(std::min<int64_t>(fileSize_, 4096)));
    if (file_.readAt(head.data(), head.size(), 0) < 32)
        failFile(path, "не удалось прочитать заголовок");
    const uint8_t *fixed = head.data();
    version_ = fixed[0];
    headerLength_ = bytes::le16(fixed + 8);
    recordLength_ = bytes::le16(fixed + 10);
    level7_ = (version_ & 7) == 4;
    foxPro_ = version_ == 0x30 || version_ == 0x31 || version_ == 0x32;

    static const uint8_t known[] = {0x02, 0x03, 0x04, 0x05, 0x07, 0x30, 0x31, 0x32, 0x43, 0x63, 0x7B, 0x83,
                                    0x87, 0x8B, 0x8C, 0x8E, 0xCB, 0xE5, 0xF5, 0xFB};
    if (std::find(std::begin(known), std::end(known), version_) == std::end(known))
        failFile(path, "это не таблица dBASE (неизвестный код версии 0x" + hexByte(version_) + ")");

    const int start = level7_ ? 68 : 32;
    const int size = level7_ ? 48 : 32;
    bool plausible = headerLength_ >= start + 1 && headerLength_ <= fileSize_ && recordLength_ >= 1;
    if (version_ == 0x02 && !plausible) {
        std::vector<uint8_t> h(size_t(std::min<int64_t>(fileSize_, 521)));
        if (file_.readAt(h.data(), h.size(), 0) < h.size())
            failFile(path, "не удалось прочитать заголовок");
        parseDbase2(h);
        return;
    }
    if (headerLength_ < start + 1)
        failFile(path, "повреждён заголовок: длина заголовка " + std::to_string(headerLength_) +
                           " байт, а должна быть не меньше " + std::to_string(start + 1));
    if (headerLength_ > fileSize_)
        failFile(path, "повреждён заголовок: длина заголовка " + std::to_string(headerLength_) +
                           " байт больше размера файла (" + std::to_string(fileSize_) +
                           " байт), файл обрезан или повреждён");
    if (recordLength_ < 1)
        failFile(path, "повреждён заголовок: длина записи равна нулю");

    std::vector<uint8_t> h = std::move(head);
    if (h.size() >= size_t(headerLength_)) {
        h.resize(size_t(headerLength_));
    } else {
        h.resize(size_t(headerLength_));
        if (file_.readAt(h.data(), h.size(), 0) < h.size())
            failFile(path, "заголовок обрезан");
    }
    header_ = h;
    mdxFlag_ = !foxPro_ && h[28] == 1;
    ldid_ = h[29];
    if (level7_)
        driverName_ = std::string(reinterpret_cast<const char *>(h.data() + 32), 32).c_str();
    if (!foxPro_ && h[15] == 1)
        addWarning("таблица зашифрована (dBASE IV PROTECT), значения показаны так, как записаны");

    // Field descriptors up to the 0x0D terminator. Each must lie inside the header.
    struct Descriptor { std::string name; char type; int length; int decimals; uint8_t flags; };
    std::vector<Descriptor> raw;
    bool terminated = false;
    int pos = start;
    while (pos < headerLength_) {
        const uint8_t *d = h.data() + pos;
        if (d[0] == 0x0D) {
            terminated = true;
            break;
        }
        if (pos + size > headerLength_)
            failFile(path, "повреждён заголовок: описание поля " + std::to_string(raw.size() + 1) +
                               " выходит за конец заголовка (" + std::to_string(headerLength_) + " байт)");
        Descriptor f;
        f.name = std::string(reinterpret_cast<const char *>(d), level7_ ? 32 : 11).c_str();
        f.type = char(level7_ ? d[32] : d[11]);
        f.length = level7_ ? d[33] : d[16];
        f.decimals = level7_ ? d[34] : d[17];
        f.flags = foxPro_ ? d[18] : 0;
        raw.push_back(std::move(f));
        pos += size;
    }

    // Clipper, Harbour and FoxPro keep the high byte of a long character width in the decimal
    // count. dBASE writes 0 there for C, so the rule is safe, unless the record length shows
    // that a writer put something else in that byte.
    auto widthSum = [&](bool clipper) {
        int64_t sum = 1;
        for (const Descriptor &f : raw)
            sum += f.type == 'C' && clipper && !level7_ ? f.length + 256 * f.decimals : f.length;
        return sum;
    };
    const bool clipper = !(widthSum(true) != recordLength_ && widthSum(false) == recordLength_);
    const int64_t used = widthSum(clipper);
    if (used > recordLength_)
        failRecordLength(used);
    if (!terminated && used != recordLength_)
        failFile(path, "повреждён заголовок: описания полей не помещаются в заголовок длиной " +
                           std::to_string(headerLength_) + " байт (нет конца списка полей)");

    int offset = 1;
    int bit = 0;
    for (const Descriptor &d : raw) {
        FieldDef f;
        f.name = trimRight(d.name);
        f.nativeType = d.type;
        f.width = d.length;
        f.decimals = d.decimals;
        if (d.type == 'C' && clipper && !level7_) {
            f.width += 256 * d.decimals;
            f.decimals = 0;
        }
        f.offset = offset;
        offset += f.width;
        if (foxPro_ && (d.flags & 0x01)) {
            if (f.nativeType == '0' && nullFlagsOffset_ < 0) {
                nullFlagsOffset_ = f.offset;
                nullFlagsWidth_ = f.width;
            }
            continue; // system column (_NullFlags), not presented
        }
        f.nullable = foxPro_ && (d.flags & 0x02) != 0;
        f.binary = foxPro_ && (d.flags & 0x04) != 0;
        // _NullFlags: in field order, a V or Q field first gets the bit that says "shorter
        // than the width", then a nullable field gets its NULL bit.
        if (foxPro_ && (f.nativeType == 'V' || f.nativeType == 'Q'))
            f.varLengthBit = bit++;
        if (f.nullable)
            f.nullBit = bit++;
        fields_.push_back(std::move(f));
    }

    // Type and size as presented.
    for (FieldDef &f : fields_) {
        switch (f.nativeType) {
        case 'C': f.type = ftString; f.size = f.width; break;
        case 'V': f.type = ftString; f.size = f.width; break;
        case 'N': case 'F': f.type = ftFloat; break;
        case 'D': f.type = ftDate; break;
        case 'L': f.type = ftBoolean; break;
        case 'M': f.type = ftMemo; f.size = f.width; break;
        case 'B':
            if (foxPro_) f.type = ftFloat;
            else { f.type = ftBlob; f.size = f.width; }
            break;
        case 'G': f.type = ftDBaseOle; f.size = f.width; break;
        case 'P': f.type = ftGraphic; f.size = f.width; break;
        case 'W': f.type = ftBlob; f.size = f.width; break;
        case 'Q': f.type = ftVarBytes; f.size = f.width; break;
        case 'Y': f.type = ftCurrency; break;
        case 'T': f.type = ftDateTime; break;
        case '@': f.type = ftDateTime; break;
        case 'I': f.type = ftInteger; break;
        case '+': f.type = ftAutoInc; break;
        case 'O': f.type = ftFloat; break;
        default: f.type = ftUnknown; f.size = 0; break;
        }
    }

    setCount(bytes::le32(h.data() + 4));
    decodeNames();
}

void DbfFile::decodeNames()
{
    // Names are in the table's code page: decode only when they need it.
    bool ascii = true;
    for (const FieldDef &f : fields_)
        for (unsigned char c : f.name)
            ascii = ascii && c < 0x80;
    if (ascii)
        return;
    const int cp = codePage();
    for (FieldDef &f : fields_)
        f.name = codepage::toUtf8(f.name, cp);
}

void DbfFile::failRecordLength(int64_t needed) const
{
    failFile(file_.path(), "повреждён заголовок: длина записи " + std::to_string(recordLength_) +
                               " байт меньше, чем занимают поля (" + std::to_string(needed) +
                               " байт вместе с признаком удаления)");
}

void DbfFile::setCount(int64_t stated)
{
    // The header's count is believed as far as the file holds whole records.
    const int64_t fitting = std::max<int64_t>(0, (fileSize_ - headerLength_) / recordLength_);
    count_ = flushedCount_ = std::min(stated, fitting);
    if (stated > fitting)
        addWarning("в заголовке указано записей: " + std::to_string(stated) + ", в файле есть только " +
                   std::to_string(fitting) + " (файл обрезан или повреждён)");
    recordsPerBlock_ = std::max<int64_t>(1, int64_t(kBlockBytes) / recordLength_);
}

void DbfFile::addWarning(const std::string &what)
{
    if (warning_.empty())
        warning_ = "Файл «" + file_.path() + "»: " + what;
    else
        warning_ += "; " + what;
}

void DbfFile::parseDbase2(const std::vector<uint8_t> &h)
{
    // dBASE II: 8-byte header (version, u16 count, date, u16 record length), 16-byte descriptors
    // from offset 8 ended by 0x0D, records from offset 521.
    const std::string &path = file_.path();
    dbase2_ = true;
    if (h.size() < 521)
        failFile(path, "файл слишком короткий для таблицы dBASE II");
    recordLength_ = bytes::le16(h.data() + 6);
    headerLength_ = 521;
    if (recordLength_ < 1)
        failFile(path, "повреждён заголовок: длина записи равна нулю");
    int offset = 1;
    for (int pos = 8; pos + 16 <= 520 && h[size_t(pos)] != 0x0D; pos += 16) {
        const uint8_t *d = h.data() + pos;
        FieldDef f;
        f.name = trimRight(std::string(reinterpret_cast<const char *>(d), 11).c_str());
        f.nativeType = char(d[11]);
        f.width = d[12];
        f.decimals = d[15];
        f.offset = offset;
        offset += f.width;
        switch (f.nativeType) {
        case 'C': f.type = ftString; f.size = f.width; break;
        case 'N': f.type = ftFloat; break;
        case 'L': f.type = ftBoolean; break;
        default: f.type = ftUnknown; break;
        }
        fields_.push_back(std::move(f));
    }
    if (offset > recordLength_)
        failRecordLength(offset);
    setCount(bytes::le16(h.data() + 1));
    decodeNames();
}

namespace {

std::pair<std::string, std::string> folderAndStem(const std::string &p)
{
    PathParts parts = splitPath(p);
    return {parts.folder, parts.stem};
}

} // namespace

int DbfFile::codePage() const
{
    if (codePage_ >= 0)
        return codePage_;
    int cp = level7_ ? codepage::fromDriverName(driverName_) : 0;
    if (cp == 0)
        cp = codepage::fromLanguageDriver(ldid_);
    if (cp == 0) {
        // No mark in the header: a .cpg file beside the table (GDAL, ArcGIS). Only the likely
        // spellings are tried; most tables have none, and a folder may hold thousands.
        auto [folder, stem] = folderAndStem(file_.path());
        std::string cpg = findCompanion(folder, stem, ".cpg", false);
        if (!cpg.empty()) {
            try {
                File f(cpg, File::ReadOnly);
                char buf[64] = {};
                size_t n = f.readAt(buf, sizeof buf - 1, 0);
                cp = codepage::fromCpgText(std::string_view(buf, n));
            } catch (const Error &) {
            }
        }
    }
    if (cp == 0) {
        // Then the text itself: UTF-8, DOS or Windows Cyrillic, else the user's locale.
        std::string sample;
        for (const FieldDef &f : fields_)
            sample += f.name + ' ';
        try {
            const int64_t n = std::min<int64_t>(count_, 64);
            for (int64_t r = 0; r < n; ++r)
                for (size_t i = 0; i < fields_.size(); ++i)
                    if (fields_[i].nativeType == 'C' && !fields_[i].binary)
                        sample += trimRight(rawField(r, int(i))) + ' ';
        } catch (const Error &) {
            // A record area that cannot be read: judge by what was read.
        }
        cp = codepage::guessFromText(sample);
        if (cp == 0)
            cp = codepage::localeDefault();
    }
    codePage_ = cp;
    return cp;
}

int DbfFile::fieldIndex(const std::string &name) const
{
    std::string u = asciiUpper(name);
    for (size_t i = 0; i < fields_.size(); ++i)
        if (asciiUpper(fields_[i].name) == u)
            return int(i);
    return -1;
}

const uint8_t *DbfFile::recordPtr(int64_t record) const
{
    if (record < 0 || record >= count_)
        failFile(file_.path(), "нет записи с номером " + std::to_string(record + 1));
    if (record >= flushedCount_)
        return pending_.data() + size_t(record - flushedCount_) * size_t(recordLength_);
    int64_t first = record - record % recordsPerBlock_;
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
        // A block cached before more records were written may be shorter than it is now.
        if (it->first == first && size_t(record - first) * size_t(recordLength_) < it->data.size()) {
            if (it != cache_.begin())
                cache_.splice(cache_.begin(), cache_, it);
            return cache_.front().data.data() + size_t(record - first) * size_t(recordLength_);
        }
    }
    int64_t n = std::min(recordsPerBlock_, flushedCount_ - first);
    Block b{first, std::vector<uint8_t>(size_t(n) * size_t(recordLength_))};
    size_t got = file_.readAt(b.data.data(), b.data.size(), headerLength_ + first * recordLength_);
    if (got < b.data.size()) {
        // The file was cut after it was opened: the whole records before the cut still read.
        const size_t whole = got / size_t(recordLength_);
        if (int64_t(whole) <= record - first)
            failFile(file_.path(), "не удалось прочитать запись " + std::to_string(record + 1) + ": файл обрезан");
        n = int64_t(whole);
        b.data.resize(whole * size_t(recordLength_));
    }
    for (auto it = pendingDeletes_.lower_bound(first); it != pendingDeletes_.end() && *it < first + n; ++it)
        b.data[size_t(*it - first) * size_t(recordLength_)] = '*';
    cache_.push_front(std::move(b));
    if (cache_.size() > kCacheBlocks)
        cache_.pop_back();
    return cache_.front().data.data() + size_t(record - first) * size_t(recordLength_);
}

bool DbfFile::isDeleted(int64_t record) const
{
    return recordPtr(record)[0] == '*';
}

std::string DbfFile::rawField(int64_t record, int field) const
{
    const FieldDef &f = fields_.at(size_t(field));
    const uint8_t *r = recordPtr(record);
    return std::string(reinterpret_cast<const char *>(r + f.offset), size_t(f.width));
}

std::string DbfFile::decodeText(std::string_view bytes) const
{
    return codepage::toUtf8(bytes, codePage());
}

std::string DbfFile::fieldText(int64_t record, int field) const
{
    const FieldDef &f = fields_.at(size_t(field));
    std::string raw = rawField(record, field);
    if (f.nativeType == 'N' || f.nativeType == 'F')
        return generalNumber(raw);
    if (f.nativeType == 'C')
        return decodeText(trimRight(raw));
    Value v = value(record, field);
    switch (v.kind) {
    case Value::Kind::Text: case Value::Kind::Memo: return v.text;
    case Value::Kind::Integer: return std::to_string(v.integer);
    default: return trim(raw);
    }
}

bool DbfFile::hasMemoFields() const
{
    for (const FieldDef &f : fields_)
        if (std::strchr("MGPW", f.nativeType) || (f.nativeType == 'B' && !foxPro_))
            return true;
    return false;
}

std::string DbfFile::warning() const
{
    std::string w = warning_;
    if (hasMemoFields() && !memo()) {
        const std::string what = memoError_ + ", значения полей примечаний не показаны";
        w += w.empty() ? "Файл «" + file_.path() + "»: " + what : "; " + what;
    }
    return w;
}

MemoFile *DbfFile::memo() const
{
    if (memoTried_)
        return memo_.get();
    memoTried_ = true;
    auto [folder, stem] = folderAndStem(file_.path());
    // .fpt for FoxPro; .dbt of the dBASE III kind (text ended by 0x1A) for dBASE III+,
    // Clipper and Visual Objects, of the dBASE IV kind (blocks with a length) otherwise.
    const bool fox = foxPro_ || version_ == 0xF5 || version_ == 0xFB;
    const char *ext = fox ? ".fpt" : ".dbt";
    std::string memoPath = findCompanion(folder, stem, ext);
    if (memoPath.empty()) {
        memoError_ = "нет файла примечаний «" + stem + ext + "»";
        return nullptr;
    }
    const bool iv = level7_ || version_ == 0x8B || version_ == 0x8E || version_ == 0xCB || version_ == 0x7B;
    try {
        memo_ = std::make_unique<MemoFile>(memoPath, fox ? MemoFile::Fpt : iv ? MemoFile::DbtIV : MemoFile::DbtIII);
    } catch (const Error &e) {
        memoError_ = std::string("файл примечаний не читается: ") + e.what();
    }
    return memo_.get();
}

Value DbfFile::valueOf(int64_t record, int field, bool whole) const
{
    const FieldDef &f = fields_.at(size_t(field));
    const uint8_t *r = recordPtr(record);
    const uint8_t *p = r + f.offset;
    std::string_view raw(reinterpret_cast<const char *>(p), size_t(f.width));

    auto bitSet = [&](int bit) {
        if (bit < 0 || nullFlagsOffset_ < 0 || bit / 8 >= nullFlagsWidth_)
            return false;
        return (r[nullFlagsOffset_ + bit / 8] >> (bit % 8) & 1) != 0;
    };
    if (f.nullable && bitSet(f.nullBit))
        return Value::null();

    Value v;
    switch (f.nativeType) {
    case 'C': {
        // The VFP binary flag (NOCPTRANS) only means "never translated": still text.
        std::string t = trimRight(raw);
        if (t.empty())
            return Value::null();
        return Value::ofText(decodeText(t));
    }
    case 'V': case 'Q': {
        size_t len = raw.size();
        if (bitSet(f.varLengthBit) && !raw.empty())
            len = std::min<size_t>(uint8_t(raw.back()), raw.size() - 1);
        std::string_view data = raw.substr(0, len);
        if (f.nativeType == 'Q') {
            v.kind = Value::Kind::Binary;
            v.size = int64_t(len);
            v.text = std::string(data);
            return v;
        }
        std::string t = trimRight(data);
        if (t.empty())
            return Value::null();
        return Value::ofText(decodeText(t));
    }
    case 'N': case 'F': {
        std::string t = trim(raw);
        if (t.empty())
            return Value::null();
        double d = 0;
        auto res = std::from_chars(t.data(), t.data() + t.size(), d);
        if (res.ec != std::errc() || res.ptr != t.data() + t.size())
            return Value::ofText(t);
        return Value::ofNumber(d, f.decimals);
    }
    case 'D': {
        std::string t = trim(raw);
        if (t.empty() || allBytes(t, '0'))
            return Value::null();
        if (t.size() != 8 || !std::all_of(t.begin(), t.end(), [](char c) { return std::isdigit((unsigned char)c); }))
            return Value::ofText(t);
        int64_t day = dayNumber(std::stoi(t.substr(0, 4)), std::stoi(t.substr(4, 2)), std::stoi(t.substr(6, 2)));
        if (day == 0)
            return Value::ofText(t);
        v.kind = Value::Kind::Date;
        v.integer = day;
        return v;
    }
    case 'L': {
        char c = raw.empty() ? ' ' : raw[0];
        if (std::strchr("TtYy", c) && c) { v.kind = Value::Kind::Boolean; v.integer = 1; return v; }
        if (std::strchr("FfNn", c) && c) { v.kind = Value::Kind::Boolean; v.integer = 0; return v; }
        return Value::null();
    }
    case 'M': case 'G': case 'P': case 'W': case 'B': {
        if (f.nativeType == 'B' && foxPro_) {
            if (f.width != 8)
                return Value::null();
            return Value::ofNumber(bytes::doubleFromBits(bytes::le64(p)), -1);
        }
        uint64_t block = 0;
        if (f.width == 4) {
            block = bytes::le32(p);
        } else {
            std::string t = trim(raw);
            if (t.empty())
                return Value::null();
            for (char c : t) {
                if (!std::isdigit(static_cast<unsigned char>(c))) {
                    v.kind = Value::Kind::Missing;
                    v.text = "повреждена ссылка на примечание: «" + t + "»";
                    return v;
                }
                block = block * 10 + uint64_t(c - '0');
                if (block > (1ull << 40))
                    break;
            }
        }
        if (block == 0)
            return Value::null();
        MemoFile *m = memo();
        if (!m) {
            v.kind = Value::Kind::Missing;
            v.text = memoError_;
            return v;
        }
        bool text = f.nativeType == 'M' && !f.binary;
        try {
            uint64_t total = 0;
            const size_t limit = whole ? SIZE_MAX : text ? kMemoLimit : 0;
            std::string data = m->read(block, limit, &total);
            if (total == 0)
                return Value::null(); // an empty memo
            if (text) {
                v.kind = Value::Kind::Memo;
                v.text = decodeText(data);
                v.size = int64_t(total);
            } else {
                v.kind = Value::Kind::Binary;
                v.size = int64_t(total);
                if (whole)
                    v.text = std::move(data);
            }
        } catch (const Error &e) {
            v.kind = Value::Kind::Missing;
            v.text = std::string("примечание не читается: ") + e.what();
        }
        return v;
    }
    case 'Y': {
        if (f.width != 8)
            return Value::null();
        v.kind = Value::Kind::Currency;
        v.number = double(int64_t(bytes::le64(p))) / 10000.0;
        v.decimals = 4;
        return v;
    }
    case 'T': {
        if (f.width != 8 || allBytes(raw, '\0') || allBytes(raw, ' '))
            return Value::null();
        // u32 Julian day number, u32 milliseconds since midnight. Visual FoxPro keeps whole
        // seconds but writes the milliseconds with rounding noise (61984999 for 17:13:05).
        int64_t jdn = bytes::le32(p);
        int64_t ms = bytes::le32(p + 4);
        if (jdn <= kDayOfJdn || ms > int64_t(kDayMs))
            return Value::null();
        ms = (ms + 500) / 1000 * 1000;
        if (ms == int64_t(kDayMs)) {
            ++jdn;
            ms = 0;
        }
        v.kind = Value::Kind::DateTime;
        v.integer = jdn - kDayOfJdn;
        v.ms = ms;
        return v;
    }
    case 'I': case '+': {
        if (f.width != 4)
            return Value::null();
        if (level7_) {
            if (allBytes(raw, '\0'))
                return Value::null();
            return Value::ofInteger(flippedBe32(p));
        }
        return Value::ofInteger(int32_t(bytes::le32(p)));
    }
    case 'O': {
        if (f.width != 8 || allBytes(raw, '\0'))
            return Value::null();
        return Value::ofNumber(sortableDouble(p), -1);
    }
    case '@': {
        if (f.width != 8 || allBytes(raw, '\0'))
            return Value::null();
        // Milliseconds as a big-endian double, day 1 = 0001-01-01 (the BDE time stamp). Some
        // writers store it in the sortable form of O (sign bit set for positive values);
        // a time stamp is never negative, so a set sign bit can only mean that form.
        double msTotal = bytes::doubleFromBits(bytes::be64(p));
        if (std::signbit(msTotal))
            msTotal = -msTotal;
        if (!(msTotal >= kDayMs) || msTotal >= kDayMs * 3652060.0)
            return Value::null(); // before 0001-01-01 or after 9999-12-31
        int64_t total = int64_t(std::llround(msTotal));
        v.kind = Value::Kind::DateTime;
        v.integer = total / int64_t(kDayMs);
        v.ms = total % int64_t(kDayMs);
        return v;
    }
    default: {
        std::string t = trimRight(raw);
        if (t.empty())
            return Value::null();
        return Value::ofText(decodeText(t));
    }
    }
}

// ---------------------------------------------------------------- writing

std::vector<uint8_t> DbfFile::blankRecord() const
{
    return std::vector<uint8_t>(size_t(recordLength_), ' ');
}

void DbfFile::encodeText(std::vector<uint8_t> &record, int field, const std::string &utf8) const
{
    const FieldDef &f = fields_.at(size_t(field));
    std::string bytes = codepage::fromUtf8(codepage::leftChars(utf8, size_t(f.width)), codePage());
    if (bytes.size() > size_t(f.width))
        bytes.resize(size_t(f.width));
    std::fill(record.begin() + f.offset, record.begin() + f.offset + f.width, ' ');
    std::copy(bytes.begin(), bytes.end(), record.begin() + f.offset);
}

void DbfFile::encodeInteger(std::vector<uint8_t> &record, int field, int64_t value) const
{
    const FieldDef &f = fields_.at(size_t(field));
    char buf[64];
    int n = f.decimals > 0 ? std::snprintf(buf, sizeof buf, "%*.*f", f.width, f.decimals, double(value))
                           : std::snprintf(buf, sizeof buf, "%*lld", f.width, static_cast<long long>(value));
    std::string s(buf, size_t(n));
    if (s.size() > size_t(f.width))
        s.assign(size_t(f.width), '*'); // does not fit: dBASE shows stars
    std::copy(s.begin(), s.end(), record.begin() + f.offset);
}

int64_t DbfFile::append(const std::vector<uint8_t> &record)
{
    if (!writable_)
        failFile(file_.path(), "таблица открыта только для чтения");
    if (record.size() != size_t(recordLength_))
        failFile(file_.path(), "длина новой записи не совпадает с длиной записи таблицы");
    pending_.insert(pending_.end(), record.begin(), record.end());
    return count_++;
}

void DbfFile::markDeleted(int64_t record)
{
    if (!writable_)
        failFile(file_.path(), "таблица открыта только для чтения");
    recordPtr(record); // bounds
    if (record >= flushedCount_) {
        pending_[size_t(record - flushedCount_) * size_t(recordLength_)] = '*';
        return;
    }
    pendingDeletes_.insert(record);
    int64_t first = record - record % recordsPerBlock_;
    for (Block &b : cache_)
        if (b.first == first && size_t(record - first) * size_t(recordLength_) < b.data.size())
            b.data[size_t(record - first) * size_t(recordLength_)] = '*';
}

void DbfFile::writeHeaderCount()
{
    // Date of last update and record count, bytes 1..7, in one write.
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    tm = localTime(now);
    uint8_t h[7];
    h[0] = uint8_t(tm.tm_year);
    h[1] = uint8_t(tm.tm_mon + 1);
    h[2] = uint8_t(tm.tm_mday);
    bytes::putLe32(h + 3, uint32_t(count_));
    file_.writeAt(h, sizeof h, 1);
}

void DbfFile::flush()
{
    if (!writable_ || (pending_.empty() && pendingDeletes_.empty()))
        return;
    if (!pending_.empty()) {
        // Records first, then the count that makes them part of the table: a record that is
        // written but not counted is ignored when the table is opened again.
        pending_.push_back(0x1A);
        try {
            file_.writeAt(pending_.data(), pending_.size(), headerLength_ + flushedCount_ * recordLength_);
        } catch (...) {
            pending_.pop_back();
            throw;
        }
        pending_.pop_back();
    }
    for (int64_t r : pendingDeletes_) {
        const uint8_t star = '*';
        file_.writeAt(&star, 1, headerLength_ + r * recordLength_);
    }
    pendingDeletes_.clear();
    int64_t written = count_;
    writeHeaderCount();
    // The buffered records are on disk now; reads go to the cache from here on. A cached block
    // that ended at the old last record is shorter than the block now is: drop it.
    pending_.clear();
    cache_.remove_if([this](const Block &b) { return b.data.size() < size_t(recordsPerBlock_) * size_t(recordLength_); });
    flushedCount_ = written;
}

void DbfFile::removeAll()
{
    if (!writable_)
        failFile(file_.path(), "таблица открыта только для чтения");
    pending_.clear();
    pendingDeletes_.clear();
    cache_.clear();
    count_ = 0;
    flushedCount_ = 0;
    writeHeaderCount();
    file_.truncate(headerLength_);
    const uint8_t eof = 0x1A;
    file_.writeAt(&eof, 1, headerLength_);
    fileSize_ = headerLength_ + 1;
}

} // namespace tables

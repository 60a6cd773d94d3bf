#include "dbffile.h"

#include "bytes.h"
#include "codepage.h"
#include "dbffile_p.h"
#include "dbflayout.h"
#include "error.h"
#include "memofile.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tables {

using namespace dbflayout;
using dbftext::trim;
using dbftext::trimRight;

namespace {

constexpr size_t kBlockBytes = 64 * 1024;   // one cache block of records
constexpr size_t kCacheBlocks = 8;

// Numbers in general format: as few digits as needed, no trailing zeros.
std::string generalNumber(std::string_view text)
{
    std::string_view t = trim(text);
    if (t.empty())
        return {};
    double v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size())
        return std::string(t);
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
        failFile(path, "таблицу этого вида (код версии " + bytes::hexByte(version_) +
                           ") можно только читать, изменять её нельзя");
}

DbfFile::~DbfFile() = default;

void DbfFile::parseHeader()
{
    const std::string &path = file_.path();
    fileSize_ = file_.sizeWhenOpened();
    if (fileSize_ == 0)
        failFile(path, "файл пуст, это не таблица dBASE");
    if (fileSize_ < int64_t(kHeaderSize))
        failFile(path, "файл слишком короткий для таблицы dBASE (" + std::to_string(fileSize_) + " байт)");

    // One read brings the whole header of nearly every table; a longer one is read again below.
    std::vector<uint8_t> head(size_t(std::min<int64_t>(fileSize_, 4096)));
    if (file_.readAt(head.data(), head.size(), 0) < kHeaderSize)
        failFile(path, "не удалось прочитать заголовок");
    const uint8_t *fixed = head.data();
    version_ = fixed[kVersion];
    headerLength_ = bytes::le16(fixed + kHeaderLength);
    recordLength_ = bytes::le16(fixed + kRecordLength);
    level7_ = (version_ & 7) == 4;
    foxPro_ = version_ == 0x30 || version_ == 0x31 || version_ == 0x32;

    static const uint8_t known[] = {0x02, 0x03, 0x04, 0x05, 0x07, 0x30, 0x31, 0x32, 0x43, 0x63, 0x7B, 0x83,
                                    0x87, 0x8B, 0x8C, 0x8E, 0xCB, 0xE5, 0xF5, 0xFB};
    if (std::find(std::begin(known), std::end(known), version_) == std::end(known))
        failFile(path, "это не таблица dBASE (неизвестный код версии " + bytes::hexByte(version_) + ")");

    const int start = int(level7_ ? kHeaderSize7 : kHeaderSize);
    const int size = int(level7_ ? kDescriptorSize7 : kDescriptorSize);
    bool plausible = headerLength_ >= start + 1 && headerLength_ <= fileSize_ && recordLength_ >= 1;
    if (version_ == 0x02 && !plausible) {
        std::vector<uint8_t> h(size_t(std::min<int64_t>(fileSize_, int64_t(kHeaderLength2))));
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
    mdxFlag_ = !foxPro_ && h[kProductionIndex] == 1;
    ldid_ = h[kLanguageDriver];
    if (level7_)
        driverName_ = std::string(reinterpret_cast<const char *>(h.data() + kDriverName), kDriverNameSize).c_str();
    if (!foxPro_ && h[kEncrypted] == 1)
        addWarning("таблица зашифрована (dBASE IV PROTECT), значения показаны так, как записаны");

    // Field descriptors up to the 0x0D terminator. Each must lie inside the header.
    struct Descriptor { std::string name; char type; int length; int decimals; uint8_t flags; };
    std::vector<Descriptor> raw;
    bool terminated = false;
    int pos = start;
    while (pos < headerLength_) {
        const uint8_t *d = h.data() + pos;
        if (d[0] == kEndOfFields) {
            terminated = true;
            break;
        }
        if (pos + size > headerLength_)
            failFile(path, "повреждён заголовок: описание поля " + std::to_string(raw.size() + 1) +
                               " выходит за конец заголовка (" + std::to_string(headerLength_) + " байт)");
        Descriptor f;
        f.name = std::string(reinterpret_cast<const char *>(d + (level7_ ? kFieldName7 : kFieldName)),
                             level7_ ? kFieldNameSize7 : kFieldNameSize).c_str();
        f.type = char(level7_ ? d[kFieldType7] : d[kFieldType]);
        f.length = level7_ ? d[kFieldLength7] : d[kFieldLength];
        f.decimals = level7_ ? d[kFieldDecimals7] : d[kFieldDecimals];
        f.flags = foxPro_ ? d[kFieldFlags] : 0;
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
        f.name = std::string(trimRight(d.name));
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
        // Harbour's kinds, in tables of levels 3 to 5.
        case '=': f.type = level7_ ? ftUnknown : ftDateTime; break;
        case '^': f.type = level7_ ? ftUnknown : ftFloat; break;
        case '2': f.type = level7_ ? ftUnknown : ftSmallint; break;
        case '4': f.type = level7_ ? ftUnknown : ftInteger; break;
        case '8': f.type = level7_ ? ftUnknown : ftFloat; break;
        default: f.type = ftUnknown; f.size = 0; break;
        }
    }

    setCount(bytes::le32(h.data() + kRecordCount));
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
    const std::string &path = file_.path();
    dbase2_ = true;
    if (h.size() < kHeaderLength2)
        failFile(path, "файл слишком короткий для таблицы dBASE II");
    recordLength_ = bytes::le16(h.data() + kRecordLength2);
    headerLength_ = int64_t(kHeaderLength2);
    if (recordLength_ < 1)
        failFile(path, "повреждён заголовок: длина записи равна нулю");
    int offset = 1;
    for (size_t pos = kDescriptors2; pos + kDescriptorSize2 < kHeaderLength2 && h[pos] != kEndOfFields;
         pos += kDescriptorSize2) {
        const uint8_t *d = h.data() + pos;
        FieldDef f;
        f.name = std::string(trimRight(std::string(reinterpret_cast<const char *>(d + kFieldName), kFieldNameSize).c_str()));
        f.nativeType = char(d[kFieldType2]);
        f.width = d[kFieldLength2];
        f.decimals = d[kFieldDecimals2];
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
    setCount(bytes::le16(h.data() + kRecordCount2));
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
                        sample.append(trimRight(fieldBytes(r, int(i)))).push_back(' ');
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
        b.data[size_t(*it - first) * size_t(recordLength_)] = kDeleted;
    cache_.push_front(std::move(b));
    if (cache_.size() > kCacheBlocks)
        cache_.pop_back();
    return cache_.front().data.data() + size_t(record - first) * size_t(recordLength_);
}

bool DbfFile::isDeleted(int64_t record) const
{
    return recordPtr(record)[0] == kDeleted;
}

std::string_view DbfFile::fieldBytes(int64_t record, int field) const
{
    const FieldDef &f = fields_.at(size_t(field));
    return std::string_view(reinterpret_cast<const char *>(recordPtr(record) + f.offset), size_t(f.width));
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
    if (f.nativeType == 'N' || f.nativeType == 'F')
        return generalNumber(fieldBytes(record, field));
    if (f.nativeType == 'C')
        return decodeText(trimRight(fieldBytes(record, field)));
    Value v = value(record, field);
    switch (v.kind) {
    case Value::Kind::Text: case Value::Kind::Memo: return v.text;
    case Value::Kind::Integer: return std::to_string(v.integer);
    default: return std::string(trim(fieldBytes(record, field)));
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


} // namespace tables

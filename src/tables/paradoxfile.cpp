#include "paradoxfile.h"

#include "bytes.h"
#include "codepage.h"
#include "error.h"
#include "paradoxfile_p.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

namespace tables {

namespace {

using bytes::be16;
using bytes::hexByte;
using bytes::be32;
using bytes::be64;
using bytes::le16;
using bytes::le32;

// Table header, fixed part (little-endian).
constexpr size_t kRecordSize = 0x00;     // u16 bytes per record
constexpr size_t kHeaderSize = 0x02;     // u16 bytes before data block 1
constexpr size_t kFileType = 0x04;       // u8 0 keyed table, 2 unkeyed table, others index files
constexpr size_t kMaxTableSize = 0x05;   // u8 block size in KiB
constexpr size_t kNumRecords = 0x06;     // u32
constexpr size_t kFirstBlock = 0x0E;     // u16 head of the data block chain, 0 when empty
constexpr size_t kNumFields = 0x21;      // s16
constexpr size_t kEncryption1 = 0x25;    // u32 level 3: key; later: FF00FF00
constexpr size_t kFileVersion = 0x39;    // u8 3 .. 12
constexpr size_t kFixedEnd = 0x58;       // end of the fixed part, field array of level 3
// Data header of level 4 and later, 0x58..0x77.
constexpr size_t kEncryption2 = 0x5C;    // u32 key, 0 when not protected
constexpr size_t kCodePage = 0x6A;       // u16 code page of the text, 0 when not recorded
constexpr size_t kDataHeaderEnd = 0x78;  // field array of level 4 and later
// After the field array (2 bytes a field): a table name pointer (4), a name pointer per
// field (4 each), the table name (79 bytes; 261 at level 7), then the NUL-terminated names.
constexpr size_t kTableNamePtr = 4;
constexpr size_t kFieldNamePtr = 4;
constexpr size_t kTableName = 79;
constexpr size_t kTableName7 = 261;

constexpr uint32_t kNoKey = 0xFF00FF00;  // encryption1 of level 4 and later

// Data block header (little-endian), records follow packed.
constexpr size_t kBlockNext = 0;         // u16 next block of the chain, 0 at the end
constexpr size_t kBlockAddDataSize = 4;  // s16 offset of the last record, negative when empty
constexpr size_t kBlockHeader = 6;

// BLOB pointer: the last 10 bytes of a BLOB field (little-endian).
constexpr int kBlobPointer = 10;
constexpr size_t kPtrOffset = 0;         // u32 .mb offset, the low byte is the index
constexpr size_t kPtrLength = 4;         // u32 BLOB length

// .mb file: blocks of 4 KiB units; block 0 is the file header.
constexpr int64_t kMbUnit = 4096;
constexpr size_t kMbType = 0;            // u8 block type
constexpr size_t kMbUnits = 1;           // u16 block size in 4 KiB units
constexpr size_t kMb2Length = 3;         // type 2 (one BLOB): u32 length
constexpr size_t kMb2Data = 9;           //   data from here
constexpr size_t kMb3Entries = 12;       // type 3 (up to 64 small BLOBs): 5-byte entries
constexpr size_t kMb3Entry = 5;          //   u8 offset/16, u8 16-byte chunks, u16 mod., u8 bytes in last chunk
constexpr int kMb3Slots = 64;
constexpr uint8_t kMbSingle = 0xFF;      // pointer index of a type 2 block

constexpr int kCacheBlocks = 16;
constexpr int kMaxBlocks = 0xFFFF;       // block numbers are u16

std::string fileName(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool allZero(const uint8_t *p, size_t n)
{
    return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
}

Value missing(std::string why) { return Value::ofText(std::move(why), Value::Kind::Missing); }

const char *const kMbDamaged = "файл MB повреждён";

Value memoValue(std::string_view data, uint32_t length, int codePage)
{
    Value v = Value::ofText(codepage::toUtf8(data, codePage), Value::Kind::Memo);
    v.size = length; // stored bytes, as the dBASE readers give them
    return v;
}

Value binary(int64_t size)
{
    Value v;
    v.kind = Value::Kind::Binary;
    v.size = size;
    return v;
}

// Numbers are stored big-endian with the sign bit flipped, so that bytes compare in order.
int64_t storedInt(const uint8_t *p, int width)
{
    switch (width) {
    case 2: return int16_t(uint16_t(be16(p) ^ 0x8000u));
    case 4: return int32_t(be32(p) ^ 0x80000000u);
    default: return 0;
    }
}

// Doubles: a positive value has its top bit set, a negative one has every bit inverted.
double storedDouble(const uint8_t *p)
{
    uint64_t bits = be64(p);
    bits = (bits & 0x8000000000000000ull) ? bits & 0x7FFFFFFFFFFFFFFFull : ~bits;
    return bytes::doubleFromBits(bits);
}

// 1 sign/flag byte (bit 7 set: positive; bit 6 set in every value; bits 0-5 decimals), then 32
// digit nibbles, most significant first, the last `decimals` of them the fraction; a negative
// value stores each digit as 15 - digit. A flag byte of 0 is a blank value, whatever digits
// are left behind it. Converters leave non-digits after the significant digits: stop there.
Value bcdValue(const uint8_t *p, int decimals)
{
    if (p[0] == 0)
        return Value::null();
    constexpr int kDigits = 32;
    const bool negative = !(p[0] & 0x80);
    const int fractionStart = kDigits - decimals;
    std::string whole, fraction;
    bool nonZero = false;
    for (int i = 0; i < kDigits; ++i) {
        int digit = (i % 2 == 0) ? p[1 + i / 2] >> 4 : p[1 + i / 2] & 0x0F;
        if (negative)
            digit = 15 - digit;
        if (digit > 9) {
            if (i < fractionStart)
                return missing("неверное значение BCD");
            break;
        }
        nonZero = nonZero || digit != 0;
        if (i < fractionStart) {
            if (!whole.empty() || digit != 0)
                whole += char('0' + digit);
        } else {
            fraction += char('0' + digit);
        }
    }
    std::string text = (negative && nonZero) ? "-" : "";
    text += whole.empty() ? "0" : whole;
    if (!fraction.empty())
        text += "." + fraction;
    return Value::ofText(text);
}

FieldType genericType(uint8_t code)
{
    using namespace paradox;
    switch (code) {
    case tcAlpha: return ftString;
    case tcDate: return ftDate;
    case tcShort: return ftSmallint;
    case tcLong: return ftInteger;
    case tcMoney: return ftCurrency;
    case tcNumber: return ftFloat;
    case tcLogical: return ftBoolean;
    case tcMemo: return ftMemo;
    case tcBlob: return ftBlob;
    case tcFmtMemo: return ftFmtMemo;
    case tcOle: return ftParadoxOle;
    case tcGraphic: return ftGraphic;
    case tcTime: return ftTime;
    case tcTimestamp: return ftDateTime;
    case tcAutoInc: return ftAutoInc;
    case tcBcd: return ftBCD;
    case tcBytes: return ftBytes;
    default: return ftUnknown;
    }
}

// Bytes a field of a fixed-size kind takes; 0 for the kinds sized by their size byte.
int fixedWidth(uint8_t code)
{
    using namespace paradox;
    switch (code) {
    case tcLogical: return 1;
    case tcShort: return 2;
    case tcDate: case tcLong: case tcTime: case tcAutoInc: return 4;
    case tcMoney: case tcNumber: case tcTimestamp: return 8;
    case tcBcd: return 17;
    default: return 0;
    }
}

} // namespace

namespace paradox {

bool isBlob(uint8_t code)
{
    return code == tcMemo || code == tcBlob || code == tcFmtMemo || code == tcOle || code == tcGraphic;
}

Value decodeStored(const FieldDef &field, const uint8_t *p, int codePage)
{
    const size_t width = size_t(field.width);
    if (allZero(p, width))
        return Value::null();
    const uint8_t code = uint8_t(field.nativeType);
    switch (code) {
    case tcAlpha: {
        const char *text = reinterpret_cast<const char *>(p);
        return Value::ofText(codepage::toUtf8(std::string_view(text, strnlen(text, width)), codePage));
    }
    case tcShort:
    case tcLong:
    case tcAutoInc:
        return Value::ofInteger(storedInt(p, int(width)));
    case tcDate: {
        Value v;
        v.kind = Value::Kind::Date;
        v.integer = storedInt(p, 4);
        return v;
    }
    case tcTime: {
        Value v;
        v.kind = Value::Kind::Time;
        v.integer = storedInt(p, 4);
        return v;
    }
    case tcNumber:
        return Value::ofNumber(storedDouble(p));
    case tcMoney: {
        Value v = Value::ofNumber(storedDouble(p));
        v.kind = Value::Kind::Currency;
        return v;
    }
    case tcTimestamp: {
        // Milliseconds counted from day 0 of the same day numbers as Date.
        constexpr int64_t kDayMs = 86400000;
        constexpr double kLimit = 3652060.0 * kDayMs; // after 9999-12-31
        const double ms = storedDouble(p);
        if (!(ms >= 0 && ms < kLimit))
            return missing("неверное значение даты и времени");
        const int64_t total = std::llround(ms);
        Value v;
        v.kind = Value::Kind::DateTime;
        v.integer = total / kDayMs;
        v.ms = total % kDayMs;
        return v;
    }
    case tcLogical: {
        Value v;
        v.kind = Value::Kind::Boolean;
        v.integer = p[0] == 0x80 ? 0 : 1;
        return v;
    }
    case tcBcd:
        return bcdValue(p, field.decimals);
    case tcBytes: {
        Value v = binary(int64_t(width));
        v.text.assign(reinterpret_cast<const char *>(p), width);
        return v;
    }
    default: // kinds no source describes
        return binary(int64_t(width));
    }
}

} // namespace paradox

ParadoxFile::ParadoxFile(const std::string &path, int codePage)
    : path_(path), file_(path, File::ReadOnly), forcedCodePage_(codePage)
{
    fileSize_ = file_.size();
    readHeader();
}

ParadoxFile::~ParadoxFile() = default;

void ParadoxFile::readHeader()
{
    auto damaged = [this](const std::string &detail) {
        failFile(path_, "повреждён заголовок таблицы Paradox (" + detail + ")");
    };
    if (fileSize_ < int64_t(kFixedEnd))
        damaged("файл короче заголовка");
    uint8_t fixed[kFixedEnd];
    if (file_.readAt(fixed, sizeof fixed, 0) != sizeof fixed)
        damaged("файл короче заголовка");

    const unsigned fileType = fixed[kFileType];
    if (fileType != 0 && fileType != 2)
        failFile(path_, "это не таблица Paradox (тип файла " + std::to_string(fileType) + ")");
    const unsigned versionId = fixed[kFileVersion];
    if (versionId < 3 || versionId > 12)
        failFile(path_, "неизвестная версия формата Paradox (" + hexByte(versionId) + ")");
    version_ = versionId == 3 ? 30 : versionId == 4 ? 35 : versionId <= 9 ? 40 : versionId <= 11 ? 50 : 70;

    const unsigned blockKiB = fixed[kMaxTableSize];
    if (blockKiB < 1 || blockKiB > 32)
        damaged("размер блока " + std::to_string(blockKiB) + " КБ");
    blockSize_ = int(blockKiB) * 1024;
    recordSize_ = le16(fixed + kRecordSize);
    if (recordSize_ == 0)
        damaged("размер записи 0");
    if (recordSize_ > blockSize_ - int(kBlockHeader))
        damaged("запись в " + std::to_string(recordSize_) + " байт не помещается в блок в " +
                std::to_string(blockSize_) + " байт");

    const size_t base = version_ >= 40 ? kDataHeaderEnd : kFixedEnd;
    headerSize_ = le16(fixed + kHeaderSize);
    if (headerSize_ < int(base))
        damaged("размер заголовка " + std::to_string(headerSize_));
    if (headerSize_ > fileSize_)
        damaged("размер заголовка " + std::to_string(headerSize_) + " больше файла");
    std::vector<uint8_t> header(static_cast<size_t>(headerSize_));
    if (file_.readAt(header.data(), header.size(), 0) != header.size())
        damaged("файл короче заголовка");

    const int numFields = int16_t(le16(&header[kNumFields]));
    const size_t tableName = versionId >= 12 ? kTableName7 : kTableName;
    size_t pos = base + 2 * size_t(std::max(numFields, 0)) + kTableNamePtr +
                 kFieldNamePtr * size_t(std::max(numFields, 0)) + tableName;
    if (numFields <= 0 || pos > header.size())
        damaged("число полей " + std::to_string(numFields));

    headerRecords_ = le32(&header[kNumRecords]);
    const uint32_t key1 = le32(&header[kEncryption1]);
    encrypted_ = version_ >= 40 ? (le32(&header[kEncryption2]) != 0 || (key1 != 0 && key1 != kNoKey))
                                : key1 != 0;
    if (encrypted_)
        key_ = version_ >= 40 && (key1 == 0 || key1 == kNoKey) ? le32(&header[kEncryption2]) : key1;

    // Field names, NUL-terminated, in field order.
    std::vector<std::string> rawNames;
    std::string nameBytes;
    for (int i = 0; i < numFields; ++i) {
        auto start = header.begin() + std::ptrdiff_t(pos);
        auto end = std::find(start, header.end(), uint8_t(0));
        if (end == header.end())
            damaged("имена полей выходят за заголовок");
        rawNames.emplace_back(start, end);
        nameBytes += rawNames.back() + " ";
        pos = size_t(end - header.begin()) + 1;
    }

    int offset = 0;
    for (int i = 0; i < numFields; ++i) {
        const uint8_t code = header[base + 2 * size_t(i)];
        const int sizeByte = header[base + 2 * size_t(i) + 1];
        FieldDef f;
        f.nativeType = char(code);
        f.type = genericType(code);
        f.width = code == paradox::tcBcd ? 17 : sizeByte;
        f.offset = offset;
        // Presented size: width of text and bytes, decimals of BCD, and for the BLOB kinds the
        // declared size, the leader kept in the record without the 10-byte pointer (M240 is
        // 240; a graphic without a leader is 0); the other kinds have none.
        if (code == paradox::tcBcd)
            f.decimals = sizeByte;
        if (f.type == ftString || f.type == ftBytes || f.type == ftBCD)
            f.size = sizeByte;
        else if (paradox::isBlob(code))
            f.size = std::max(sizeByte - kBlobPointer, 0);
        const int fixedSize = fixedWidth(code);
        const bool badSize = code == paradox::tcBcd ? sizeByte > 32
                           : fixedSize ? sizeByte != fixedSize
                           : paradox::isBlob(code) ? sizeByte < kBlobPointer || sizeByte > 250
                           : (f.type == ftString || f.type == ftBytes) && sizeByte == 0;
        if (badSize)
            damaged("поле " + std::to_string(i + 1) + " типа " + hexByte(code) + " размером " +
                    std::to_string(sizeByte));
        offset += f.width;
        fields_.push_back(std::move(f));
    }
    if (offset != recordSize_)
        damaged("размер записи " + std::to_string(recordSize_) + " не равен сумме размеров полей " +
                std::to_string(offset));

    codePage_ = forcedCodePage_ > 0 ? forcedCodePage_ : version_ >= 40 ? le16(&header[kCodePage]) : 0;
    indexBlocks(le16(&header[kFirstBlock]));
    if (codePage_ == 0)
        chooseCodePage(nameBytes);
    for (size_t i = 0; i < fields_.size(); ++i)
        fields_[i].name = codepage::toUtf8(rawNames[i], codePage_);

    bool hasBlobs = std::any_of(fields_.begin(), fields_.end(),
                                [](const FieldDef &f) { return paradox::isBlob(uint8_t(f.nativeType)); });
    if (hasBlobs) {
        const PathParts parts = splitPath(path_);
        const std::string name = fileName(path_);
        const size_t dot = name.find_last_of('.');
        mbPath_ = findCompanion(parts.folder, parts.stem, ".mb");
        if (mbPath_.empty() && !locked_) {
            const bool upper = dot != std::string::npos && name.compare(dot, 3, ".DB") == 0;
            warning_ += warning_.empty() ? "Файл «" + path_ + "»: " : "; ";
            warning_ += "нет файла MB «" + parts.stem + (upper ? ".MB" : ".mb") + "», длинные значения полей BLOB недоступны";
        }
    }
}

// Walks the chain of data blocks from `firstBlock`, reading each block's 6-byte header, and
// records where every block's records start. The walk stops at the first block that cannot
// be right (past the end of the file, already visited); records before it stay readable.
// In a protected table the first block must unscramble into a block header that makes sense,
// else the scrambling is not the one undone here and the records stay closed.
void ParadoxFile::indexBlocks(uint16_t firstBlock)
{
    const int64_t dataBytes = fileSize_ - headerSize_;
    const int blocksInFile = int(std::min<int64_t>((dataBytes + blockSize_ - 1) / blockSize_, kMaxBlocks));
    const int capacity = (blockSize_ - int(kBlockHeader)) / recordSize_;
    std::vector<std::string> problems;
    auto makesSense = [&](const uint8_t *head, int n) {
        const int next = le16(head + kBlockNext);
        const int addDataSize = int16_t(le16(head + kBlockAddDataSize));
        return next <= blocksInFile && next != n && addDataSize >= -recordSize_ &&
               (addDataSize + recordSize_) % recordSize_ == 0 && addDataSize / recordSize_ < capacity;
    };

    std::vector<bool> visited(size_t(blocksInFile) + 1, false);
    bool broken = false;
    for (int n = firstBlock; n != 0;) {
        if (n > blocksInFile) {
            problems.push_back("блок данных " + std::to_string(n) + " за концом файла");
            broken = true;
            break;
        }
        if (visited[size_t(n)]) {
            problems.push_back("цепочка блоков данных замкнута в кольцо на блоке " + std::to_string(n));
            broken = true;
            break;
        }
        visited[size_t(n)] = true;
        const int64_t at = headerSize_ + int64_t(n - 1) * blockSize_;
        int64_t present = std::min<int64_t>(blockSize_, fileSize_ - at);
        if (key_)
            present -= present % paradox::kScrambleChunk; // a cut chunk does not unscramble
        uint8_t head[paradox::kScrambleChunk];
        if (present < int64_t(kBlockHeader) || readBlockStart(n, head, kBlockHeader) != kBlockHeader) {
            problems.push_back("файл обрывается в блоке данных " + std::to_string(n));
            broken = true;
            break;
        }
        if (key_ && n == firstBlock && !makesSense(head, n)) {
            locked_ = true;
            break;
        }
        const int addDataSize = int16_t(le16(head + kBlockAddDataSize));
        int count = addDataSize < 0 ? 0 : addDataSize / recordSize_ + 1;
        if (count > capacity) {
            problems.push_back("в блоке данных " + std::to_string(n) + " неверное число записей");
            count = capacity;
        }
        const int fit = int((present - int64_t(kBlockHeader)) / recordSize_);
        if (count > fit) {
            problems.push_back("файл обрывается в блоке данных " + std::to_string(n));
            count = fit;
            broken = true;
        }
        if (count > 0) {
            blocks_.push_back({n, recordCount_, count});
            recordCount_ += count;
        }
        if (broken)
            break;
        n = le16(head + kBlockNext);
    }
    if (!locked_ && (broken || recordCount_ != int64_t(headerRecords_)))
        problems.push_back("прочитано записей: " + std::to_string(recordCount_) + " из " +
                           std::to_string(headerRecords_) + " по заголовку");
    if (locked_) {
        // Believe the header's count as far as the blocks go.
        blocks_.clear();
        recordCount_ = std::min<int64_t>(headerRecords_, int64_t(blocksInFile) * capacity);
        problems.assign(1, "таблица защищена паролем, записи не расшифровываются");
    }
    if (!problems.empty()) {
        warning_ = "Файл «" + path_ + "»: ";
        for (size_t i = 0; i < problems.size(); ++i)
            warning_ += (i ? "; " : "") + problems[i];
    }
}

// Tables that do not record their code page are told apart by the letters their field names
// and Alpha values use (UTF-8, DOS or Windows Cyrillic); without any such letter, the locale
// decides. Values are kept apart by blanks, so that one cut inside its last character counts
// as UTF-8 still.
void ParadoxFile::chooseCodePage(const std::string &nameBytes)
{
    std::string sample = nameBytes;
    if (!blocks_.empty()) {
        const CachedBlock &b = block(blocks_.front());
        for (int r = 0; r < blocks_.front().count; ++r) {
            const uint8_t *rec = b.bytes.data() + kBlockHeader + size_t(r) * size_t(recordSize_);
            for (const FieldDef &f : fields_)
                if (uint8_t(f.nativeType) == paradox::tcAlpha)
                    sample.append(reinterpret_cast<const char *>(rec + f.offset),
                                  strnlen(reinterpret_cast<const char *>(rec + f.offset), size_t(f.width)))
                        .append(1, ' ');
        }
    }
    codePage_ = codepage::guessFromText(sample);
    if (codePage_ == 0)
        codePage_ = codepage::localeDefault();
}

const ParadoxFile::CachedBlock &ParadoxFile::block(const BlockRef &ref) const
{
    ++useClock_;
    for (CachedBlock &c : cache_) {
        if (c.number == ref.number) {
            c.lastUse = useClock_;
            return c;
        }
    }
    CachedBlock *slot;
    if (int(cache_.size()) < kCacheBlocks) {
        slot = &cache_.emplace_back();
    } else {
        slot = &*std::min_element(cache_.begin(), cache_.end(),
                                  [](const CachedBlock &a, const CachedBlock &b) { return a.lastUse < b.lastUse; });
    }
    // Only the part in use: the header and `count` records, all checked present at open
    // (in whole chunks, when scrambled).
    const size_t used = kBlockHeader + size_t(ref.count) * size_t(recordSize_);
    const size_t chunk = paradox::kScrambleChunk;
    slot->number = 0;
    slot->bytes.resize(key_ ? (used + chunk - 1) / chunk * chunk : used);
    if (readBlockStart(ref.number, slot->bytes.data(), used) != used)
        failFile(path_, "не удаётся прочитать блок данных " + std::to_string(ref.number));
    slot->number = ref.number;
    slot->lastUse = useClock_;
    return *slot;
}

// The first `bytes` bytes of data block `number`, unscrambled in a protected table (`to` then
// has room for them rounded up to whole chunks). Returns how many were read.
size_t ParadoxFile::readBlockStart(int number, uint8_t *to, size_t bytes) const
{
    const int64_t at = headerSize_ + int64_t(number - 1) * blockSize_;
    if (!key_)
        return file_.readAt(to, bytes, at);
    const size_t chunk = paradox::kScrambleChunk;
    size_t got = file_.readAt(to, (bytes + chunk - 1) / chunk * chunk, at);
    got -= got % chunk;
    paradox::unscrambleDataBlock(to, got, key_, number);
    return std::min(got, bytes);
}

const uint8_t *ParadoxFile::recordBytes(int64_t record) const
{
    auto it = std::upper_bound(blocks_.begin(), blocks_.end(), record,
                               [](int64_t r, const BlockRef &b) { return r < b.firstRecord; });
    const BlockRef &ref = *(it - 1); // record < recordCount_, so some block holds it
    const CachedBlock &b = block(ref);
    return b.bytes.data() + kBlockHeader + size_t(record - ref.firstRecord) * size_t(recordSize_);
}

Value ParadoxFile::valueOf(int64_t record, int field, bool whole) const
{
    if (record < 0 || record >= recordCount_)
        failFile(path_, "нет записи " + std::to_string(record + 1));
    if (field < 0 || field >= int(fields_.size()))
        failFile(path_, "нет поля " + std::to_string(field + 1));
    if (locked_)
        return missing("таблица защищена паролем");
    const FieldDef &f = fields_[size_t(field)];
    const uint8_t *p = recordBytes(record) + f.offset;
    if (paradox::isBlob(uint8_t(f.nativeType)))
        return blobValue(f, p, whole);
    return paradox::decodeStored(f, p, codePage_);
}

const File *ParadoxFile::mbFile() const
{
    if (!mbTried_) {
        mbTried_ = true;
        if (mbPath_.empty()) {
            mbProblem_ = "нет файла MB";
        } else {
            try {
                auto mb = std::make_unique<File>(mbPath_, File::ReadOnly);
                mbSize_ = mb->size();
                // Block 0 is the file's header, of type 0; a protected table's may be scrambled.
                uint8_t head[paradox::kScrambleChunk] = {0xFF};
                bool ok = mbSize_ >= kMbUnit && mb->readAt(head, sizeof head, 0) == sizeof head;
                if (ok && head[kMbType] != 0 && key_)
                    paradox::unscrambleBlobChunks(head, sizeof head, key_);
                if (ok && head[kMbType] == 0)
                    mb_ = std::move(mb);
                else
                    mbProblem_ = kMbDamaged;
            } catch (const Error &e) {
                mbProblem_ = std::string("файл MB недоступен: ") + e.what();
            }
        }
    }
    return mb_.get();
}

// A BLOB field: a leader holding the first bytes of the value, then a pointer. Values no
// longer than the leader are wholly in it; longer ones live in the .mb, either alone in a
// type 2 block (pointer index 0xFF) or in a slot of a type 3 block of small values.
Value ParadoxFile::blobValue(const FieldDef &field, const uint8_t *p, bool whole) const
{
    const int leader = field.width - kBlobPointer;
    const uint8_t *pointer = p + leader;
    const uint32_t length = le32(pointer + kPtrLength);
    if (length == 0)
        return Value::null();
    const uint8_t code = uint8_t(field.nativeType);
    const bool text = code == paradox::tcMemo || code == paradox::tcFmtMemo;
    if (length <= uint32_t(leader)) {
        const std::string_view data(reinterpret_cast<const char *>(p), length);
        if (text)
            return memoValue(data, length, codePage_);
        Value v = binary(length);
        if (whole)
            v.text = std::string(data);
        return v;
    }

    if (!mbFile())
        return missing(mbProblem_);
    const uint32_t where = le32(pointer + kPtrOffset);
    Value v = readBlob(text, length, where, false, whole);
    if (key_ && v.kind == Value::Kind::Missing && v.text == kMbDamaged) {
        // A protected table's .mb is scrambled too, where its writer followed Paradox.
        Value u = readBlob(text, length, where, true, whole);
        if (u.kind != Value::Kind::Missing)
            return u;
    }
    return v;
}

// The value at `where` in the .mb (read unscrambled when asked), checked against its block's
// header. A binary value's bytes are read only when `whole` asks for them.
Value ParadoxFile::readBlob(bool text, uint32_t length, uint32_t where, bool unscramble, bool whole) const
{
    const Value damaged = missing(kMbDamaged);
    const int64_t blockAt = where & 0xFFFFFF00u;
    const uint8_t index = uint8_t(where & 0xFF);
    if (blockAt < kMbUnit || blockAt % kMbUnit != 0 || blockAt + kMbUnit > mbSize_)
        return damaged;
    try {
        int64_t dataAt = 0;
        if (index == kMbSingle) {
            uint8_t head[kMb2Data];
            if (readMb(head, sizeof head, blockAt, unscramble) != sizeof head || head[kMbType] != 2)
                return damaged;
            const int64_t blockBytes = int64_t(le16(head + kMbUnits)) * kMbUnit;
            if (le32(head + kMb2Length) != length || int64_t(kMb2Data) + length > blockBytes ||
                blockAt + int64_t(kMb2Data) + length > mbSize_)
                return damaged;
            dataAt = blockAt + int64_t(kMb2Data);
        } else {
            uint8_t head[kMb3Entries + kMb3Entry * kMb3Slots];
            if (index >= kMb3Slots || readMb(head, sizeof head, blockAt, unscramble) != sizeof head ||
                head[kMbType] != 3)
                return damaged;
            const uint8_t *entry = head + kMb3Entries + kMb3Entry * index;
            const int64_t start = int64_t(entry[0]) * 16;
            const int chunks = entry[1], last = entry[4];
            if (chunks == 0 || last == 0 || last > 16 || int64_t(chunks - 1) * 16 + last != int64_t(length) ||
                start < int64_t(sizeof head) || start + length > kMbUnit)
                return damaged;
            dataAt = blockAt + start;
        }
        if (!text && !whole)
            return binary(length);
        std::string data(length, '\0');
        if (readMb(reinterpret_cast<uint8_t *>(data.data()), length, dataAt, unscramble) != length)
            return damaged;
        if (!text) {
            Value v = binary(length);
            v.text = std::move(data);
            return v;
        }
        return memoValue(data, length, codePage_);
    } catch (const Error &e) {
        return missing(e.what());
    }
}

// `bytes` bytes of the .mb at `at`; unscrambled, the chunks around them are read and undone
// (every chunk of a .mb is scrambled alike). Returns how many were read.
size_t ParadoxFile::readMb(uint8_t *to, size_t bytes, int64_t at, bool unscramble) const
{
    if (!unscramble)
        return mb_->readAt(to, bytes, at);
    const size_t chunk = paradox::kScrambleChunk;
    const int64_t start = at - at % int64_t(chunk);
    const size_t skip = size_t(at - start);
    std::vector<uint8_t> buf((skip + bytes + chunk - 1) / chunk * chunk);
    size_t got = mb_->readAt(buf.data(), buf.size(), start);
    got -= got % chunk;
    paradox::unscrambleBlobChunks(buf.data(), got, key_);
    if (got <= skip)
        return 0;
    const size_t n = std::min(bytes, got - skip);
    std::copy(buf.begin() + std::ptrdiff_t(skip), buf.begin() + std::ptrdiff_t(skip + n), to);
    return n;
}

} // namespace tables

// Writing dBASE IV tables: a new empty table with its production index, and appending,
// deleting and emptying the records of an open one.
#include "dbffile.h"

#include "bytes.h"
#include "codepage.h"
#include "dbflayout.h"
#include "error.h"
#include "indexkey.h"
#include "mdxindex.h"
#include "table.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace tables {

using namespace dbflayout;

void dbflayout::putDateStamp(uint8_t *p)
{
    const std::tm tm = localTime(std::time(nullptr));
    p[0] = uint8_t(tm.tm_year);
    p[1] = uint8_t(tm.tm_mon + 1);
    p[2] = uint8_t(tm.tm_mday);
}

void createDbaseTable(const std::string &folder, const std::string &name, const FieldDefs &fields,
                      const std::vector<IndexDef> &indexes, uint8_t languageDriver)
{
    const size_t n = fields.size();
    const size_t headerLength = kHeaderSize + kDescriptorSize * n + 1;
    size_t recordLength = 1;
    for (const FieldDef &f : fields)
        recordLength += size_t(f.width);
    std::vector<uint8_t> h(headerLength + 1, 0);
    h[kVersion] = 0x03;
    putDateStamp(h.data() + kDate);
    bytes::putLe16(h.data() + kHeaderLength, uint16_t(headerLength));
    bytes::putLe16(h.data() + kRecordLength, uint16_t(recordLength));
    h[kProductionIndex] = indexes.empty() ? 0 : 1;
    h[kLanguageDriver] = languageDriver;
    for (size_t i = 0; i < n; ++i) {
        uint8_t *d = h.data() + kHeaderSize + kDescriptorSize * i;
        std::string fname = asciiUpper(fields[i].name).substr(0, kFieldNameSize - 1);
        std::memcpy(d + kFieldName, fname.data(), fname.size());
        d[kFieldType] = uint8_t(fields[i].nativeType);
        d[kFieldLength] = uint8_t(fields[i].width);
        d[kFieldDecimals] = uint8_t(fields[i].decimals);
        for (const IndexDef &x : indexes)
            if (asciiUpper(x.fields) == asciiUpper(fields[i].name))
                d[kFieldIndexTag] = 1;
    }
    h[headerLength - 1] = kEndOfFields;
    h[headerLength] = kEndOfFile;
    auto writeAll = [](const std::string &path, const std::vector<uint8_t> &bytes) {
        File f(path, File::Create);
        f.writeAt(bytes.data(), bytes.size(), 0);
    };
    writeAll(folder + name, h);
    if (indexes.empty())
        return;
    const std::string stem = asciiUpper(splitPath(name).stem);
    std::vector<MdxIndex::TagSpec> specs;
    for (const IndexDef &x : indexes) {
        auto column = std::find_if(fields.begin(), fields.end(),
                                   [&](const FieldDef &f) { return asciiUpper(f.name) == asciiUpper(x.fields); });
        specs.push_back(indexkey::tagFor(x, column == fields.end() ? nullptr : &*column));
    }
    writeAll(folder + stem + ".MDX", MdxIndex::image(stem, languageDriver, specs, {}));
}

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
        pending_[size_t(record - flushedCount_) * size_t(recordLength_)] = kDeleted;
        return;
    }
    pendingDeletes_.insert(record);
    int64_t first = record - record % recordsPerBlock_;
    for (Block &b : cache_)
        if (b.first == first && size_t(record - first) * size_t(recordLength_) < b.data.size())
            b.data[size_t(record - first) * size_t(recordLength_)] = kDeleted;
}

void DbfFile::writeHeaderCount()
{
    // Date of last update and record count, next to each other: one write.
    static_assert(kRecordCount == kDate + 3);
    uint8_t h[7];
    putDateStamp(h);
    bytes::putLe32(h + 3, uint32_t(count_));
    file_.writeAt(h, sizeof h, kDate);
}

void DbfFile::flush()
{
    if (!writable_ || (pending_.empty() && pendingDeletes_.empty()))
        return;
    if (!pending_.empty()) {
        // Records first, then the count that makes them part of the table: a record that is
        // written but not counted is ignored when the table is opened again.
        pending_.push_back(kEndOfFile);
        try {
            file_.writeAt(pending_.data(), pending_.size(), headerLength_ + flushedCount_ * recordLength_);
        } catch (...) {
            pending_.pop_back();
            throw;
        }
        pending_.pop_back();
    }
    for (int64_t r : pendingDeletes_) {
        const uint8_t star = kDeleted;
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
    const uint8_t eof = kEndOfFile;
    file_.writeAt(&eof, 1, headerLength_);
    fileSize_ = headerLength_ + 1;
}

} // namespace tables
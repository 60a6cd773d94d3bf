#pragma once
// A dBASE-family table file: dBASE II, III+, IV, 5 and 7, FoxPro 2.x, Visual FoxPro, Clipper and
// Harbour tables are read; dBASE IV tables are also written (append, delete, empty). The layout
// on disk is described in dbflayout.h. Reading (header and field list, record cache, code page)
// is in dbfreader.cpp, value decoding per family of field kinds in dbfvalue.cpp, writing in
// dbfwriter.cpp.
#include "file.h"
#include "recordsource.h"

#include <cstdint>
#include <list>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tables {

class MemoFile;

class DbfFile : public RecordSource {
public:
    // Opens the table; writable opens it for appending and deleting (the dBASE III/IV/5 layout
    // only: asking it of dBASE II, level 7 or Visual FoxPro tables throws Error).
    // Throws Error naming the file when it is not a readable dBASE table. A `codePage` other
    // than 0 is used for the text instead of the one the table says.
    DbfFile(const std::string &path, bool writable, int codePage = 0);
    ~DbfFile() override;

    const FieldDefs &fields() const override { return fields_; }
    int64_t recordCount() const override { return count_; }
    bool isDeleted(int64_t record) const override;
    Value value(int64_t record, int field) const override { return valueOf(record, field, false); }
    Value wholeValue(int64_t record, int field) const override { return valueOf(record, field, true); }
    // Damage found on opening (a header count beyond the data), and a memo file that the
    // table needs but that is missing or unreadable.
    std::string warning() const override;

    const std::string &path() const { return file_.path(); }
    uint8_t version() const { return version_; }
    uint8_t languageDriver() const { return ldid_; }
    bool productionIndexFlag() const { return mdxFlag_; }
    int codePage() const;
    // The header as read on opening, field descriptors included (empty for dBASE II).
    const std::vector<uint8_t> &headerBytes() const { return header_; }
    int fieldIndex(const std::string &name) const; // case-insensitive; -1 when absent

    // The stored bytes of one field of a record.
    std::string rawField(int64_t record, int field) const;
    // The field as display text: character fields without trailing blanks, numbers in
    // general format (10, not 10.00), empty for an empty value.
    std::string fieldText(int64_t record, int field) const;

    // Writing. A record is built from blankRecord() with the encoders, then appended.
    std::vector<uint8_t> blankRecord() const;
    void encodeText(std::vector<uint8_t> &record, int field, const std::string &utf8) const;
    void encodeInteger(std::vector<uint8_t> &record, int field, int64_t value) const;
    int64_t append(const std::vector<uint8_t> &record); // returns the new 0-based record number
    void markDeleted(int64_t record);
    // Removes every record (the file keeps only its header).
    void removeAll();
    // Writes buffered records and deletions, then the header (count and date).
    void flush();
    // Asks the system to put what was written on the disk itself.
    void sync() { if (writable_) file_.sync(); }
    size_t bufferedBytes() const { return pending_.size(); }

private:
    Value valueOf(int64_t record, int field, bool whole) const;
    void parseHeader();
    void parseDbase2(const std::vector<uint8_t> &h);
    void setCount(int64_t stated);
    void decodeNames();
    [[noreturn]] void failRecordLength(int64_t needed) const;
    void addWarning(const std::string &what);
    bool hasMemoFields() const;
    const uint8_t *recordPtr(int64_t record) const;
    // The stored bytes of a field, valid until the next record is asked for.
    std::string_view fieldBytes(int64_t record, int field) const;
    MemoFile *memo() const;
    // Value decoding by family of field kinds (dbfvalue.cpp); each sets `v` for the kinds it
    // knows and returns false for the others.
    bool textKindValue(const FieldDef &f, std::string_view raw, Value &v) const;
    bool foxProValue(const FieldDef &f, const uint8_t *record, Value &v) const;
    bool level7Value(const FieldDef &f, std::string_view raw, Value &v) const;
    bool harbourValue(const FieldDef &f, std::string_view raw, Value &v) const;
    Value memoValue(const FieldDef &f, std::string_view raw, bool whole) const;
    bool nullFlag(const uint8_t *record, int bit) const; // a bit of Visual FoxPro's _NullFlags
    std::string decodeText(std::string_view bytes) const;
    void writeHeaderCount();

    File file_;
    bool writable_;
    uint8_t version_ = 0;
    uint8_t ldid_ = 0;
    bool mdxFlag_ = false;
    bool level7_ = false;
    bool foxPro_ = false;    // Visual FoxPro layout (binary memo pointers, _NullFlags)
    bool dbase2_ = false;
    int64_t headerLength_ = 0;
    std::vector<uint8_t> header_;
    int recordLength_ = 0;
    int64_t count_ = 0;         // records, the buffered ones included
    int64_t flushedCount_ = 0;  // records on disk
    int64_t fileSize_ = 0;
    FieldDefs fields_;
    int nullFlagsOffset_ = -1;
    int nullFlagsWidth_ = 0;
    std::string warning_;
    std::string driverName_;
    mutable int codePage_ = -1;

    // Read cache: a few blocks of consecutive records.
    struct Block { int64_t first; std::vector<uint8_t> data; };
    mutable std::list<Block> cache_;
    int64_t recordsPerBlock_ = 1;

    std::vector<uint8_t> pending_;   // appended records not yet written
    std::set<int64_t> pendingDeletes_;

    mutable std::unique_ptr<MemoFile> memo_;
    mutable bool memoTried_ = false;
    mutable std::string memoError_;
};

} // namespace tables

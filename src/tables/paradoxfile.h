#pragma once
// Reader of Paradox tables (.db, levels 3.0 to 7.x) and of their BLOB files (.mb).
//
// Opening reads the header and walks the chain of data blocks once, six bytes per block, to
// learn how many records each block holds; records are read on demand through a small block
// cache, and the .mb file is opened only when a BLOB value needs it. A damaged block chain
// keeps the records before the damage and says so in warning(); a damaged or missing .mb
// makes only the BLOB cells it concerns unreadable (Value::Kind::Missing).
//
// Not thread-safe: value() fills the cache (one table is read by one thread).
#include "file.h"
#include "recordsource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tables {

class ParadoxFile : public RecordSource {
public:
    // Opens the table at `path` and reads its structure. Throws Error naming the file when it
    // is not a Paradox table or its header is damaged.
    // A `codePage` other than 0 is used for the text instead of the one the table says.
    explicit ParadoxFile(const std::string &path, int codePage = 0);
    ~ParadoxFile() override;

    const FieldDefs &fields() const override { return fields_; }
    int64_t recordCount() const override { return recordCount_; }
    bool isDeleted(int64_t) const override { return false; } // deleted records leave no trace
    // Throws Error for a record or field out of range or when a data block cannot be read.
    // BLOB values that cannot be read from the .mb come back as Value::Kind::Missing, and so
    // does every value of a password-protected table whose scrambling cannot be undone.
    Value value(int64_t record, int field) const override { return valueOf(record, field, false); }
    Value wholeValue(int64_t record, int field) const override { return valueOf(record, field, true); }
    std::string warning() const override { return warning_; }

    // Code page of the table's text: the one the header names, or for tables without one
    // (level 3, or 0 in the header) a guess from the field names and the first block's
    // Alpha values, else the locale's default.
    int codePage() const { return codePage_; }
    // The table is password-protected: its header is plain, its data blocks (and .mb) are
    // scrambled. The scrambling is undone without the password; where it cannot be (the blocks
    // do not come out as blocks), the structure still reads but the records do not.
    bool encrypted() const { return encrypted_; }
    // Format level: 30, 35, 40, 50 or 70 (Paradox 3.0, 3.5, 4.x, 5.x, 7.x).
    int version() const { return version_; }
    int blockSize() const { return blockSize_; }

private:
    struct BlockRef {
        int number;           // 1-based block number in the file
        int64_t firstRecord;  // index of its first record in the table
        int count;            // records it holds
    };
    struct CachedBlock {
        int number = 0;
        uint64_t lastUse = 0;
        std::vector<uint8_t> bytes; // block header and the records in use
    };

    void readHeader();
    void indexBlocks(uint16_t firstBlock);
    void chooseCodePage(const std::string &nameBytes);
    const CachedBlock &block(const BlockRef &ref) const;
    size_t readBlockStart(int number, uint8_t *to, size_t bytes) const;
    size_t readMb(uint8_t *to, size_t bytes, int64_t at, bool unscramble) const;
    Value readBlob(bool text, uint32_t length, uint32_t where, bool unscramble, bool whole) const;
    const uint8_t *recordBytes(int64_t record) const;
    Value valueOf(int64_t record, int field, bool whole) const;
    Value blobValue(const FieldDef &field, const uint8_t *bytes, bool whole) const;
    const File *mbFile() const;

    std::string path_;
    File file_;
    int64_t fileSize_ = 0;
    int headerSize_ = 0;
    int blockSize_ = 0;
    int recordSize_ = 0;
    int version_ = 0;
    int codePage_ = 0;
    int forcedCodePage_ = 0;
    bool encrypted_ = false;
    uint32_t key_ = 0;        // the scrambling key of a protected table
    bool locked_ = false;     // protected, and its scrambling could not be undone
    uint32_t headerRecords_ = 0;
    FieldDefs fields_;
    std::vector<BlockRef> blocks_;
    int64_t recordCount_ = 0;
    std::string warning_;

    mutable std::vector<CachedBlock> cache_;
    mutable uint64_t useClock_ = 0;

    std::string mbPath_;                  // empty when there is no .mb beside the table
    mutable std::unique_ptr<File> mb_;
    mutable bool mbTried_ = false;
    mutable std::string mbProblem_;       // why the .mb cannot be used, once tried
    mutable int64_t mbSize_ = 0;
};

} // namespace tables

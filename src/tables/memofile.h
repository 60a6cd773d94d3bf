#pragma once
// Memo files of the dBASE family: .dbt of dBASE III (text ended by 0x1A), .dbt of dBASE IV/5/7
// (blocks with a length header) and FoxPro .fpt (big-endian block size, typed entries).
#include "file.h"

#include <cstdint>
#include <string>

namespace tables {

class MemoFile {
public:
    enum Kind { DbtIII, DbtIV, Fpt };

    // Throws Error when the file cannot be opened or read. A file shorter than its header is
    // a memo file without memos.
    MemoFile(const std::string &path, Kind kind);

    // The bytes of the memo at `block`, at most `limit` of them (the rest is cut).
    // `total` receives the stored length when the format records it (else the bytes read).
    // Throws Error when the block lies outside the file or its header is damaged.
    std::string read(uint64_t block, size_t limit, uint64_t *total = nullptr) const;

    uint32_t blockSize() const { return blockSize_; }

private:
    File file_;
    Kind kind_;
    uint32_t blockSize_ = 512;
    int64_t size_ = 0;
};

} // namespace tables

#pragma once
// A bounded cache of the grid's formatted rows. Rows are grouped in blocks of consecutive
// rows; at most maxBlocks() blocks are kept, and when a new block is needed the least recently
// used one is dropped. A block holds storage for all its rows, but each row is filled only
// when it is first stored, so a jump to a far row formats that row alone, not its whole block.
//
// Memory is bounded by blockRows() * maxBlocks() * columns() texts, whatever the table's size.
#include <QString>

#include <cstdint>
#include <vector>

namespace selection {

class RowCache {
public:
    // blockRows and maxBlocks are at least 1.
    explicit RowCache(int blockRows = 256, int maxBlocks = 16);

    int blockRows() const { return blockRows_; }
    int maxBlocks() const { return maxBlocks_; }
    int columns() const { return columns_; }

    // Empties the cache and sets the number of texts per row (and, when given, a new limit).
    void reset(int columns);
    void reset(int columns, int maxBlocks);
    void clear();

    // The texts of `row` (columns() of them), or nullptr when the row is not cached.
    // A hit makes its block the most recently used.
    const QString *find(int64_t row);
    // Storage for the texts of `row` (>= 0), to be filled by the caller; the row counts as cached
    // from now on. Makes room by dropping the least recently used block when needed.
    QString *store(int64_t row);

    // For tests and the benchmark: blocks held now, and rows stored in them.
    int blockCount() const { return int(blocks_.size()); }
    int64_t rowsHeld() const;

private:
    struct Block {
        int64_t first = 0;        // first row of the block
        uint64_t lastUse = 0;
        std::vector<QString> cells;  // blockRows * columns, row by row
        std::vector<bool> filled;    // per row of the block
    };
    Block *blockOf(int64_t row);

    int blockRows_;
    int maxBlocks_;
    int columns_ = 0;
    uint64_t clock_ = 0;
    std::vector<Block> blocks_;  // at most maxBlocks_; few, so searched in turn
    int lastHit_ = -1;           // index of the block found last, tried first
};

} // namespace selection

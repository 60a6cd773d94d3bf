#include "rowcache.h"

#include <algorithm>

namespace selection {

RowCache::RowCache(int blockRows, int maxBlocks)
    : blockRows_(std::max(1, blockRows)), maxBlocks_(std::max(1, maxBlocks))
{
}

void RowCache::reset(int columns)
{
    clear();
    columns_ = std::max(0, columns);
}

void RowCache::reset(int columns, int maxBlocks)
{
    reset(columns);
    maxBlocks_ = std::max(1, maxBlocks);
}

void RowCache::clear()
{
    blocks_.clear();
    lastHit_ = -1;
}

RowCache::Block *RowCache::blockOf(int64_t row)
{
    const int64_t first = row - row % blockRows_;
    if (lastHit_ >= 0 && blocks_[size_t(lastHit_)].first == first)
        return &blocks_[size_t(lastHit_)];
    for (size_t i = 0; i < blocks_.size(); ++i) {
        if (blocks_[i].first == first) {
            lastHit_ = int(i);
            return &blocks_[i];
        }
    }
    return nullptr;
}

const QString *RowCache::find(int64_t row)
{
    if (row < 0)
        return nullptr;
    Block *b = blockOf(row);
    if (!b)
        return nullptr;
    const size_t at = size_t(row - b->first);
    if (!b->filled[at])
        return nullptr;
    b->lastUse = ++clock_;
    return b->cells.data() + at * size_t(columns_);
}

QString *RowCache::store(int64_t row)
{
    Block *b = blockOf(row);
    if (!b) {
        if (int(blocks_.size()) >= maxBlocks_) {
            auto oldest = std::min_element(blocks_.begin(), blocks_.end(),
                                           [](const Block &x, const Block &y) { return x.lastUse < y.lastUse; });
            blocks_.erase(oldest);
        }
        Block fresh;
        fresh.first = row - row % blockRows_;
        fresh.cells.resize(size_t(blockRows_) * size_t(columns_));
        fresh.filled.assign(size_t(blockRows_), false);
        blocks_.push_back(std::move(fresh));
        lastHit_ = int(blocks_.size()) - 1;
        b = &blocks_.back();
    }
    const size_t at = size_t(row - b->first);
    b->filled[at] = true;
    b->lastUse = ++clock_;
    return b->cells.data() + at * size_t(columns_);
}

int64_t RowCache::rowsHeld() const
{
    int64_t n = 0;
    for (const Block &b : blocks_)
        n += std::count(b.filled.begin(), b.filled.end(), true);
    return n;
}

} // namespace selection

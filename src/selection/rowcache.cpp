#include "rowcache.h"

#include <algorithm>

namespace selection {

RowCache::RowCache(int blockRows, int maxBlocks)
    : m_blockRows(std::max(1, blockRows)), m_maxBlocks(std::max(1, maxBlocks))
{
}

void RowCache::reset(int columns)
{
    clear();
    m_columns = std::max(0, columns);
}

void RowCache::reset(int columns, int maxBlocks)
{
    reset(columns);
    m_maxBlocks = std::max(1, maxBlocks);
}

void RowCache::clear()
{
    m_blocks.clear();
    m_lastHit = -1;
}

RowCache::Block *RowCache::blockOf(int64_t row)
{
    const int64_t first = row - row % m_blockRows;
    if (m_lastHit >= 0 && m_blocks[size_t(m_lastHit)].first == first)
        return &m_blocks[size_t(m_lastHit)];
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        if (m_blocks[i].first == first) {
            m_lastHit = int(i);
            return &m_blocks[i];
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
    b->lastUse = ++m_clock;
    return b->cells.data() + at * size_t(m_columns);
}

QString *RowCache::store(int64_t row)
{
    Block *b = blockOf(row);
    if (!b) {
        if (int(m_blocks.size()) >= m_maxBlocks) {
            auto oldest = std::min_element(m_blocks.begin(), m_blocks.end(),
                                           [](const Block &x, const Block &y) { return x.lastUse < y.lastUse; });
            m_blocks.erase(oldest);
        }
        Block fresh;
        fresh.first = row - row % m_blockRows;
        fresh.cells.resize(size_t(m_blockRows) * size_t(m_columns));
        fresh.filled.assign(size_t(m_blockRows), false);
        m_blocks.push_back(std::move(fresh));
        m_lastHit = int(m_blocks.size()) - 1;
        b = &m_blocks.back();
    }
    const size_t at = size_t(row - b->first);
    b->filled[at] = true;
    b->lastUse = ++m_clock;
    return b->cells.data() + at * size_t(m_columns);
}

int64_t RowCache::rowsHeld() const
{
    int64_t n = 0;
    for (const Block &b : m_blocks)
        n += std::count(b.filled.begin(), b.filled.end(), true);
    return n;
}

} // namespace selection

#pragma once
// What each fuzz target does with one input. The fuzz targets call these, and so does the
// regression test that replays every input the fuzzers ever crashed on.
#include "fuzz_input.h"
#include "tables/dbffile.h"
#include "tables/error.h"
#include "tables/mdxindex.h"
#include "tables/memofile.h"
#include "tables/numkey.h"
#include "tables/paradoxfile.h"
#include "tables/recognise.h"
#include "tables/tableinfo.h"

#include <algorithm>
#include <cstdint>

namespace fuzz {

// Calls `decode` for the first `first` of `count` records and for the last.
template <class Decode>
void firstAndLast(int64_t count, int64_t first, Decode decode)
{
    first = std::min(count, first);
    for (int64_t r = 0; r < first; ++r)
        decode(r);
    if (count > first)
        decode(count - 1);
}

// dBASE table header, field descriptors and records: open, then decode every cell of the first
// records and of the last, as the grid does, and take the first record's columns as text and
// whole, as the cursor and the CSV do. Records further on run the same decoding over more bytes
// and would only slow each input. The input's first byte chooses whether a memo file is made
// from the input's tail, so memo references are followed too.
inline int dbf(const uint8_t *data, size_t size)
{
    tables::recogniseTable(data, std::min(size, tables::kRecogniseBytes));
    const std::string path = putTable(data, size, "t.dbf", {"t.dbt", "t.fpt"});
    if (path.empty())
        return 0;
    try {
        tables::DbfFile t(path, false);
        const auto decode = [&t](int64_t r) {
            t.isDeleted(r);
            for (size_t f = 0; f < t.fields().size(); ++f) {
                t.value(r, int(f));
                if (r == 0) {
                    t.wholeValue(r, int(f));
                    t.fieldText(r, int(f));
                }
            }
        };
        firstAndLast(t.recordCount(), 3, decode);
        t.warning();
    } catch (const tables::Error &) {
    }
    return 0;
}

// Memo files (.dbt of both kinds, .fpt): the first input byte picks the kind and the block asked for.
inline int memo(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    auto kind = tables::MemoFile::Kind(data[0] % 3);
    uint64_t block = data[1];
    std::string path = fuzz::put("m.memo", data + 2, size - 2);
    try {
        tables::MemoFile m(path, kind);
        uint64_t total = 0;
        m.read(block, 1 << 16, &total);
        m.read(1, 100, &total);
        m.read(block, SIZE_MAX, &total);
    } catch (const tables::Error &) {
    }
    return 0;
}

// The production index reader: open, walk and seek every tag, then insert into a writable copy.
inline int mdx(const uint8_t *data, size_t size)
{
    std::string path = fuzz::put("i.mdx", data, size);
    try {
        tables::MdxIndex mdx(path, true);
        for (int t = 0; t < mdx.tagCount(); ++t) {
            try {
                auto entries = mdx.walk(t);
                std::string key = entries.empty() ? std::string(size_t(mdx.tag(t).keyLength), '\0') : entries.front().first;
                mdx.seek(t, key);
                for (uint32_t r = 1; r <= 70; ++r)
                    mdx.insert(t, key, uint32_t(entries.size()) + r);
                mdx.walk(t);
            } catch (const tables::Error &) {
            }
        }
    } catch (const tables::Error &) {
    }
    return 0;
}

// Paradox tables and their .MB blob files: open, then decode every cell of the first records and
// of the last (in the last block of the chain).
inline int paradox(const uint8_t *data, size_t size)
{
    const std::string path = putTable(data, size, "p.db", {"p.mb"});
    if (path.empty())
        return 0;
    try {
        tables::ParadoxFile t(path);
        const auto decode = [&t](int64_t r) {
            for (size_t f = 0; f < t.fields().size(); ++f) {
                t.value(r, int(f));
                t.wholeValue(r, int(f));
            }
        };
        firstAndLast(t.recordCount(), 8, decode);
        t.warning();
    } catch (const tables::Error &) {
    }
    return 0;
}

// The complete description of a table with its companion files (memo, indexes of both kinds,
// Paradox primary and secondary indexes, BLOB file), made from the input's tail: the input's
// second bit picks a dBASE or a Paradox table, its third a code page chosen by the user.
inline int describe(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const bool paradox = data[0] & 2;
    const std::string path = paradox ? putTable(data, size, "d.db", {"d.px", "d.mb", "d.X02", "d.YG0", "d.val"})
                                     : putTable(data, size, "d.dbf", {"d.dbt", "d.fpt", "d.mdx", "d.cdx", "d.cpg"});
    if (path.empty())
        return 0;
    tables::describeTable(path, data[0] & 4 ? 1251 : 0);
    return 0;
}

} // namespace fuzz

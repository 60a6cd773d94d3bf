#pragma once
// The production index of a dBASE table kept in step with the table: opened (or made again
// from the stored tag definitions when it is missing or its header is damaged), checked against
// the table's records and rebuilt when it disagrees, and given each new record's keys.
#include "fielddef.h"
#include "mdxindex.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tables {

class DbfFile;

class ProductionIndex {
public:
    // The index of `table`: STEM.MDX beside it in any letter case. It is opened when the table is
    // read in an index order (`ordered`) or written with its production index flag set; otherwise,
    // and when a table read in record order has none, the answer is null. A writable table whose
    // index is missing or damaged gets it made again from `defs`. Throws Error naming the file
    // when the index is needed and cannot be had.
    static std::unique_ptr<ProductionIndex> open(DbfFile &table, const std::vector<IndexDef> &defs,
                                                 bool writable, bool ordered);

    int findTag(const std::string &name) const { return mdx_.findTag(name); }
    // Records (0-based) in the tag's order, and those whose key equals the key of `text` (the
    // value as the table shows it).
    std::vector<int64_t> order(int tag) const;
    std::vector<int64_t> seek(int tag, std::string_view text) const;

    // A record appended to the table: its keys go into every tag.
    void add(int64_t record);
    // The table was emptied: every tag is emptied too, on disk at once.
    void clear();
    void flush() { mdx_.flush(); }
    void sync() { mdx_.sync(); }

private:
    ProductionIndex(DbfFile &table, const std::string &path, bool writable);
    std::string keyOf(int tag, int64_t record) const;
    // Every record (deleted ones too) has exactly one key, holding its own value, in order;
    // otherwise the tags on columns are built again from the records.
    void verify(bool writable);

    DbfFile &table_;
    MdxIndex mdx_;
    std::vector<int> tagField_;   // per tag, the column its key is made from (-1: none)
};

} // namespace tables

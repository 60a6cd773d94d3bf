#include "productionindex.h"

#include "dbffile.h"
#include "error.h"
#include "file.h"
#include "indexkey.h"

#include <algorithm>

namespace tables {

namespace {

std::vector<MdxIndex::TagSpec> specsFor(const DbfFile &table, const std::vector<IndexDef> &defs)
{
    std::vector<MdxIndex::TagSpec> specs;
    for (const IndexDef &x : defs) {
        const int f = table.fieldIndex(x.fields);
        specs.push_back(indexkey::tagFor(x, f >= 0 ? &table.fields()[size_t(f)] : nullptr));
    }
    return specs;
}

} // namespace

std::unique_ptr<ProductionIndex> ProductionIndex::open(DbfFile &table, const std::vector<IndexDef> &defs,
                                                       bool writable, bool ordered)
{
    const std::string &path = table.path();
    // A table opened only to be read needs its index only for an index order; one opened for
    // writing keeps every tag of its production index up to date.
    if (!ordered && !(writable && table.productionIndexFlag()))
        return nullptr;
    const PathParts parts = splitPath(path);
    const std::string name = asciiUpper(parts.stem);
    std::string mdxPath = findCompanion(parts.folder, parts.stem, ".mdx");
    if (mdxPath.empty()) {
        if (!ordered)
            return nullptr; // the flag promises an index that is not there: read in record order
        if (!writable || defs.empty())
            throw Error("Файл «" + path + "»: не найден индекс " + name + ".MDX");
        // The index is derived from the table: make it again from the stored definitions.
        mdxPath = parts.folder + name + ".MDX";
        std::vector<uint8_t> img = MdxIndex::image(name, table.languageDriver(), specsFor(table, defs), {});
        File f(mdxPath, File::Create);
        f.writeAt(img.data(), img.size(), 0);
    }
    std::unique_ptr<ProductionIndex> index;
    try {
        index.reset(new ProductionIndex(table, mdxPath, writable));
    } catch (const Error &) {
        if (!writable || defs.empty())
            throw;
        // A damaged header: start from an empty index with the stored tags, then rebuild.
        std::vector<uint8_t> img = MdxIndex::image(name, table.languageDriver(), specsFor(table, defs), {});
        File f(mdxPath, File::ReadWrite);
        f.writeAt(img.data(), img.size(), 0);
        f.truncate(int64_t(img.size()));
        index.reset(new ProductionIndex(table, mdxPath, writable));
    }
    index->verify(writable);
    return index;
}

ProductionIndex::ProductionIndex(DbfFile &table, const std::string &path, bool writable)
    : table_(table), mdx_(path, writable)
{
    for (int t = 0; t < mdx_.tagCount(); ++t)
        tagField_.push_back(table_.fieldIndex(mdx_.tag(t).expression));
}

std::string ProductionIndex::keyOf(int tag, int64_t record) const
{
    const int field = tagField_.at(size_t(tag));
    return indexkey::keyOf(mdx_.tag(tag), field >= 0 ? table_.rawField(record, field) : std::string());
}

void ProductionIndex::verify(bool writable)
{
    const int64_t n = table_.recordCount();
    bool good = true;
    std::vector<std::vector<MdxIndex::Entry>> rebuilt;
    for (int t = 0; t < mdx_.tagCount(); ++t) {
        const MdxIndex::TagSpec &s = mdx_.tag(t);
        const bool bare = tagField_[size_t(t)] >= 0;
        std::vector<MdxIndex::Entry> entries;
        bool tagGood = bare;
        if (bare) {
            try {
                entries = mdx_.walk(t);
            } catch (const Error &) {
                tagGood = false;
            }
        }
        if (tagGood && int64_t(entries.size()) != n)
            tagGood = false;
        if (tagGood) {
            std::vector<char> seen(size_t(n), 0);
            for (size_t i = 0; i < entries.size() && tagGood; ++i) {
                uint32_t r = entries[i].second;
                if (r < 1 || r > n || seen[r - 1]) {
                    tagGood = false;
                    break;
                }
                seen[r - 1] = 1;
                if (MdxIndex::compareKeys(s.keyType, entries[i].first, keyOf(t, r - 1)) != 0)
                    tagGood = false;
                if (i > 0) {
                    int c = MdxIndex::compareKeys(s.keyType, entries[i - 1].first, entries[i].first);
                    if (c > 0 || (c == 0 && entries[i - 1].second > r))
                        tagGood = false;
                }
            }
        }
        if (!tagGood && bare)
            good = false;
        rebuilt.emplace_back();
        if (bare) {
            auto &e = rebuilt.back();
            e.reserve(size_t(n));
            for (int64_t r = 0; r < n; ++r)
                e.emplace_back(keyOf(t, r), uint32_t(r + 1));
            char kt = s.keyType;
            std::stable_sort(e.begin(), e.end(), [kt](const MdxIndex::Entry &a, const MdxIndex::Entry &b) {
                return MdxIndex::compareKeys(kt, a.first, b.first) < 0;
            });
        } else {
            try {
                rebuilt.back() = mdx_.walk(t);
            } catch (const Error &) {
            }
        }
    }
    if (!good) {
        mdx_.replace(rebuilt);
        if (writable)
            mdx_.flush();
    }
}

std::vector<int64_t> ProductionIndex::order(int tag) const
{
    std::vector<int64_t> records;
    for (const MdxIndex::Entry &e : mdx_.walk(tag))
        records.push_back(int64_t(e.second) - 1);
    return records;
}

std::vector<int64_t> ProductionIndex::seek(int tag, std::string_view text) const
{
    std::vector<int64_t> records;
    for (uint32_t r : mdx_.seek(tag, indexkey::keyOf(mdx_.tag(tag), text)))
        records.push_back(int64_t(r) - 1);
    return records;
}

void ProductionIndex::add(int64_t record)
{
    for (int t = 0; t < mdx_.tagCount(); ++t)
        if (tagField_[size_t(t)] >= 0)
            mdx_.insert(t, keyOf(t, record), uint32_t(record + 1));
}

void ProductionIndex::clear()
{
    mdx_.replace(std::vector<std::vector<MdxIndex::Entry>>(size_t(mdx_.tagCount())));
    mdx_.flush();
}

} // namespace tables

// The production index: reading files another implementation wrote, writing files of the same
// structure, keeping the tree right through many inserts, and rebuilding a damaged index.
#include "allocation.h"
#include "tables/bytes.h"
#include "tables/error.h"
#include "tables/mdxindex.h"
#include "tables/numkey.h"
#include "tables/table.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

using namespace tables;
using testutil::TempDir;
namespace fs = std::filesystem;

namespace {

// A numeric key's value as text ("10", "-0.05"), read back from its packed decimal digits.
std::string keyText(const std::string &k)
{
    numkey::Key n{};
    std::copy_n(k.begin(), std::min(k.size(), n.size()), n.begin());
    bool zero = true;
    std::string digits;
    for (size_t i = 2; i < n.size(); ++i) {
        zero = zero && n[i] == 0;
        digits += char('0' + (n[i] >> 4));
        digits += char('0' + (n[i] & 15));
    }
    if (zero)
        return "0";
    digits.erase(digits.find_last_not_of('0') + 1);
    const int e = int(n[0]) - 0x34;
    std::string out = (n[1] & 0x80) ? "-" : "";
    if (e <= 0)
        out += "0." + std::string(size_t(-e), '0') + digits;
    else if (size_t(e) >= digits.size())
        out += digits + std::string(size_t(e) - digits.size(), '0');
    else
        out += digits.substr(0, size_t(e)) + "." + digits.substr(size_t(e));
    return out;
}

// The walk the other implementation printed: "key 1 recno 2 (deleted)".
std::vector<std::pair<std::string, uint32_t>> expectedWalk(const std::string &file)
{
    std::ifstream in(file);
    std::vector<std::pair<std::string, uint32_t>> out;
    std::regex line(R"(^\s+key (\S+)\s+recno (\d+))");
    for (std::string s; std::getline(in, s);) {
        std::smatch m;
        if (std::regex_search(s, m, line))
            out.emplace_back(m[1], uint32_t(std::stoul(m[2])));
    }
    return out;
}

struct Fixture { const char *folder; const char *table; const char *tag; };
const Fixture kFixtures[] = {
    {"main_empty", "ZORMAIN", "ZORID"}, {"main_rows", "ZORMAIN", "ZORID"}, {"main_float", "ZORMAIN", "ZORID"},
    {"main_many", "ZORMAIN", "ZORID"},  {"det_rows", "ZORDET", "ZOR_ID"},
};


} // namespace

TEST(NumericKey, EncodingMatchesIndependentWriter)
{
    struct Case { const char *text; const char *hex; };
    // Bytes as the independent fixtures hold them (digit count counted as xbase64 does).
    const Case cases[] = {
        {"0", "340100000000000000000000"},  {"1", "350510000000000000000000"},
        {"10", "360910000000000000000000"}, {"123", "370d12300000000000000000"},
        {"1.5", "350915000000000000000000"}, {"0.05", "330950000000000000000000"},
        {"-1", "358510000000000000000000"}, {"          300", "370d30000000000000000000"},
        {"", "340100000000000000000000"},
    };
    for (const Case &c : cases) {
        numkey::Key k = numkey::fromText(c.text);
        std::ostringstream hex;
        for (uint8_t b : k)
            hex << std::hex << (b >> 4) << (b & 15);
        EXPECT_EQ(hex.str(), c.hex) << c.text;
    }
    // Order: negatives, zero, fractions, integers; the digit-count byte plays no part.
    std::vector<std::string> ordered = {"-300", "-1", "0", "0.05", "0.1", "0.5", "1", "1.5", "2", "10", "123", "1000000"};
    for (size_t i = 0; i + 1 < ordered.size(); ++i)
        EXPECT_LT(numkey::compare(numkey::fromText(ordered[i]), numkey::fromText(ordered[i + 1])), 0)
            << ordered[i] << " < " << ordered[i + 1];
    numkey::Key tdbfStyle = numkey::fromText("1");
    tdbfStyle[1] = 0x09; // another writer's digit count for the same number
    EXPECT_EQ(numkey::compare(tdbfStyle, numkey::fromText("1")), 0);
}

TEST(MdxIndex, ReadsIndependentFilesInTheSameOrder)
{
    for (const Fixture &f : kFixtures) {
        std::string dir = testutil::fixture(std::string("mdx/") + f.folder + "/");
        MdxIndex mdx(dir + f.table + ".MDX", false);
        ASSERT_EQ(mdx.tagCount(), 1) << f.folder;
        EXPECT_EQ(mdx.tag(0).name, f.tag);
        EXPECT_EQ(mdx.tag(0).keyType, 'N');
        auto walk = mdx.walk(0);
        auto want = expectedWalk(dir + "xbase64-walk.txt");
        ASSERT_EQ(walk.size(), want.size()) << f.folder;
        for (size_t i = 0; i < walk.size(); ++i) {
            EXPECT_EQ(keyText(walk[i].first), want[i].first) << f.folder << " #" << i;
            EXPECT_EQ(walk[i].second, want[i].second) << f.folder << " #" << i;
        }
        // A seek finds exactly the records of one key, in record order.
        if (!walk.empty()) {
            auto hits = mdx.seek(0, walk.back().first);
            std::vector<uint32_t> expect;
            for (auto &w : walk)
                if (w.first == walk.back().first)
                    expect.push_back(w.second);
            EXPECT_EQ(hits, expect) << f.folder;
        }
    }
}

TEST(MdxIndex, WritesTheSameStructureAsTheIndependentFiles)
{
    // Rebuild each fixture's index from its walk and compare every structural byte.
    for (const Fixture &f : {kFixtures[1], kFixtures[4]}) {
        std::string dir = testutil::fixture(std::string("mdx/") + f.folder + "/");
        std::vector<unsigned char> theirs = testutil::readAll(dir + f.table + ".MDX");
        MdxIndex mdx(dir + f.table + ".MDX", false);
        std::vector<uint8_t> ours = MdxIndex::image(f.table, theirs[31], {mdx.tag(0)}, {mdx.walk(0)});
        ASSERT_EQ(ours.size(), theirs.size()) << f.folder;
        auto same = [&](size_t from, size_t n, const char *what) {
            EXPECT_TRUE(std::equal(ours.begin() + long(from), ours.begin() + long(from + n), theirs.begin() + long(from)))
                << f.folder << ": " << what;
        };
        same(0, 1, "version");
        same(4, 16, "table name");
        same(20, 10, "block size, production flag, tag slots, tag count"); // byte 30 differs between writers
        same(32, 4, "page count");
        same(512, 32, "tag tree head");
        same(544, 32, "tag table entry");
        same(2048, 4, "root page");
        same(2048 + 8, 2, "key format and type");
        same(2048 + 12, 8, "key length, keys per node, secondary type, item length");
        same(2048 + 24, 221, "key expression");
        same(2048 + 246, 1, "has-keys flag");
        same(3072, 1024, "leaf node with its keys");
    }
}

TEST(MdxIndex, ManyKeysInsertedStayOrderedAndCheckClean)
{
    TempDir tmp;
    FieldDefs fields(2);
    fields[0].name = "NAME"; fields[0].nativeType = 'C'; fields[0].width = 10;
    fields[1].name = "NUM"; fields[1].nativeType = 'F'; fields[1].width = 19;
    createDbaseTable(tmp.str(), "keys.dbf", fields, {{"NUM", "NUM"}}, 0xC9);

    Table t;
    t.DatabaseName = tmp.str();
    t.TableName = "keys.dbf";
    t.ReadOnly = false;
    t.IndexName = "NUM";
    t.IndexDefs = {{"NUM", "NUM"}};
    t.Open();
    std::mt19937 rng(42);
    const int n = 5000; // 80 leaves or more, three levels
    std::vector<int> values;
    for (int i = 0; i < n; ++i) {
        int v = int(rng() % 700) - 100; // many duplicates, negatives and zero
        values.push_back(v);
        t.Insert();
        t.setFieldAsString("NAME", "r" + std::to_string(i));
        t.setFieldAsInteger("NUM", v);
        t.Post();
    }
    t.flush();
    EXPECT_EQ(testutil::independentProblems(tmp.str() + "keys.dbf"), "");

    // The cursor walks in key order, equal keys in record order.
    std::vector<std::pair<int, int>> expect;
    for (int i = 0; i < n; ++i)
        expect.emplace_back(values[size_t(i)], i + 1);
    std::sort(expect.begin(), expect.end());
    t.First();
    for (const auto &e : expect) {
        ASSERT_FALSE(t.Eof());
        EXPECT_EQ(t.recordNumber(), e.second);
        t.Next();
    }
    EXPECT_TRUE(t.Eof());
    t.Close();

    // Reopened, the index is taken as it is, and deleting every row leaves small files.
    t.Open();
    t.First();
    while (!t.Eof())
        t.Delete();
    t.Close();
    EXPECT_EQ(testutil::independentProblems(tmp.str() + "keys.dbf"), "");
    EXPECT_LE(fs::file_size(tmp.path() / "KEYS.MDX"), 4096u);
    EXPECT_LE(fs::file_size(tmp.path() / "keys.dbf"), 200u);
}

TEST(MdxIndex, DamagedIndexIsRebuiltFromTheTable)
{
    struct Damage {
        const char *what;
        void (*apply)(std::vector<unsigned char> &mdx);
    };
    const Damage damages[] = {
        {"root page points past the end", [](std::vector<unsigned char> &m) { bytes::putLe32(m.data() + 2048, 9999); }},
        {"root page is zero", [](std::vector<unsigned char> &m) { bytes::putLe32(m.data() + 2048, 0); }},
        {"file cut short", [](std::vector<unsigned char> &m) { m.resize(5000); }},
        {"a key missing", [](std::vector<unsigned char> &m) {
             // the root of main_many is a branch; damage one leaf's count
             uint32_t root = bytes::le32(m.data() + 2048);
             uint32_t leaf = bytes::le32(m.data() + root * 512 + 8);
             bytes::putLe32(m.data() + leaf * 512, bytes::le32(m.data() + leaf * 512) - 1);
         }},
        {"key bytes changed", [](std::vector<unsigned char> &m) {
             uint32_t root = bytes::le32(m.data() + 2048);
             uint32_t leaf = bytes::le32(m.data() + root * 512 + 8);
             m[leaf * 512 + 8 + 4 + 2] = 0x99;
         }},
        {"a node points to itself", [](std::vector<unsigned char> &m) {
             uint32_t root = bytes::le32(m.data() + 2048);
             bytes::putLe32(m.data() + root * 512 + 8, root);
         }},
        {"header says more pages than the file", [](std::vector<unsigned char> &m) { bytes::putLe32(m.data() + 32, 100000); }},
        {"garbage header", [](std::vector<unsigned char> &m) { std::fill(m.begin(), m.begin() + 64, 0xEE); }},
    };
    for (const Damage &dmg : damages) {
        TempDir tmp;
        testutil::copy(testutil::fixture("mdx/main_many/ZORMAIN.DBF"), tmp.str() + "ZORMain.dbf");
        auto m = testutil::readAll(testutil::fixture("mdx/main_many/ZORMAIN.MDX"));
        dmg.apply(m);
        testutil::writeAll(tmp.str() + "ZORMAIN.MDX", m);

        Table t;
        t.DatabaseName = tmp.str();
        t.TableName = "ZORMain.dbf";
        t.TableType = ttDBase;
        t.ReadOnly = false;
        t.IndexName = "ZORID";
        t.IndexDefs = {{"ZORID", "ZORID"}};
        ASSERT_NO_THROW(t.Open()) << dmg.what;
        int rows = 0, last = 0;
        bool ordered = true;
        for (t.First(); !t.Eof(); t.Next()) {
            int id = std::stoi(t.fieldAsString("ZORID"));
            ordered = ordered && id > last;
            last = id;
            ++rows;
        }
        EXPECT_EQ(rows, 299) << dmg.what; // 300 rows, one deleted
        EXPECT_TRUE(ordered) << dmg.what;
        t.Close();
        EXPECT_EQ(testutil::independentProblems(tmp.str() + "ZORMain.dbf"), "") << dmg.what;
    }
}

TEST(MdxIndex, ADamagedIndexNeverAllocatesMoreThanItsFileHolds)
{
    // Opening and seeking every tag of a damaged index, from chosen damage and from bytes changed
    // at random (fixed seed): an error or an answer, never an allocation the file cannot back.
    const std::vector<unsigned char> good = testutil::readAll(testutil::fixture("mdx/main_many/ZORMAIN.MDX"));
    std::vector<std::vector<unsigned char>> damaged;
    // The page count, pages per block, the tag header's page, then (in that header, page 4)
    // the root page, the key length and the keys per node.
    for (size_t at : {size_t(32), size_t(20), size_t(544), size_t(2048), size_t(2048 + 12), size_t(2048 + 14)}) {
        for (uint16_t value : {uint16_t(0xFFFF), uint16_t(0x7FF0)}) {
            std::vector<unsigned char> m = good;
            bytes::putLe16(m.data() + at, value);
            damaged.push_back(m);
        }
    }
    const uint32_t root = bytes::le32(good.data() + 2048);
    for (size_t at : {size_t(root) * 512, size_t(root) * 512 + 8}) {
        std::vector<unsigned char> m = good;
        bytes::putLe32(m.data() + at, 0x7FFFFFFF); // a node's key count, its first child
        damaged.push_back(m);
    }
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        std::vector<unsigned char> m = good;
        for (int k = 0; k < 1 + int(random() % 6); ++k)
            m[random() % (round % 2 ? m.size() : 2048 + 64)] = uint8_t(random());
        damaged.push_back(m);
    }
    TempDir tmp;
    for (size_t i = 0; i < damaged.size(); ++i) {
        testutil::writeAll(tmp.str() + "ZORMAIN.MDX", damaged[i]);
        const size_t largest = testutil::largestAllocationOf([&] {
            try {
                MdxIndex mdx(tmp.str() + "ZORMAIN.MDX", false);
                for (int t = 0; t < mdx.tagCount(); ++t)
                    (void)mdx.seek(t, std::string(size_t(std::clamp(mdx.tag(t).keyLength, 0, 100)), '\0'));
            } catch (const Error &) {
            }
        });
        EXPECT_LE(largest, damaged[i].size() + 4096) << "damage " << i;
    }
}

TEST(MdxIndex, MissingIndexIsMadeAgainForAWritableTable)
{
    TempDir tmp;
    testutil::copy(testutil::fixture("mdx/main_rows/ZORMAIN.DBF"), tmp.str() + "ZORMain.dbf");
    Table t;
    t.DatabaseName = tmp.str();
    t.TableName = "ZORMain.dbf";
    t.IndexName = "ZORID";
    EXPECT_THROW(t.Open(), Error); // read-only: no index, no order

    t.ReadOnly = false;
    t.IndexDefs = {{"ZORID", "ZORID"}};
    ASSERT_NO_THROW(t.Open());
    std::vector<int64_t> recs;
    for (t.First(); !t.Eof(); t.Next())
        recs.push_back(t.recordNumber());
    EXPECT_EQ(recs, (std::vector<int64_t>{1, 3}));
    t.Close();
    EXPECT_EQ(testutil::independentProblems(tmp.str() + "ZORMain.dbf"), "");
}

TEST(MdxIndex, CharacterAndDateTagsKeepTheirOrder)
{
    TempDir tmp;
    FieldDefs fields(2);
    fields[0].name = "CITY"; fields[0].nativeType = 'C'; fields[0].width = 12;
    fields[1].name = "BORN"; fields[1].nativeType = 'D'; fields[1].width = 8;
    createDbaseTable(tmp.str(), "people.dbf", fields, {{"CITY", "CITY"}, {"BORN", "BORN"}}, 0x57);
    struct Row { const char *city, *born; };
    const Row rows[] = {{"Tver", "19991231"}, {"Omsk", "20240315"}, {"Kazan", ""}, {"Omsk", "18000101"}, {"Abakan", "20000229"}};
    Table t;
    t.DatabaseName = tmp.str();
    t.TableName = "people.dbf";
    t.ReadOnly = false;
    t.IndexDefs = {{"CITY", "CITY"}, {"BORN", "BORN"}};
    t.IndexName = "CITY";
    t.Open();
    for (const Row &r : rows) {
        t.Insert();
        t.setFieldAsString("CITY", r.city);
        t.setFieldAsString("BORN", r.born);
        t.Post();
    }
    t.Close();
    EXPECT_EQ(testutil::independentProblems(tmp.str() + "people.dbf"), "");

    auto order = [&](const char *tag) {
        Table r;
        r.DatabaseName = tmp.str();
        r.TableName = "people.dbf";
        r.IndexName = tag;
        r.Open();
        std::vector<int64_t> recs;
        for (r.First(); !r.Eof(); r.Next())
            recs.push_back(r.recordNumber());
        return recs;
    };
    EXPECT_EQ(order("CITY"), (std::vector<int64_t>{5, 3, 2, 4, 1}));
    EXPECT_EQ(order("BORN"), (std::vector<int64_t>{4, 1, 5, 2, 3})); // a blank date sorts last
}

namespace {

// A table PEOPLE with a character and a date column, both indexed, and the given rows.
void makePeople(const std::string &folder, const std::vector<std::pair<std::string, std::string>> &rows)
{
    FieldDefs fields(2);
    fields[0].name = "CITY"; fields[0].nativeType = 'C'; fields[0].width = 12;
    fields[1].name = "BORN"; fields[1].nativeType = 'D'; fields[1].width = 8;
    createDbaseTable(folder, "people.dbf", fields, {{"CITY", "CITY"}, {"BORN", "BORN"}}, 0x57);
    Table t;
    t.DatabaseName = folder;
    t.TableName = "people.dbf";
    t.ReadOnly = false;
    t.IndexDefs = {{"CITY", "CITY"}, {"BORN", "BORN"}};
    t.Open();
    for (const auto &[city, born] : rows) {
        t.Insert();
        t.setFieldAsString("CITY", city);
        t.setFieldAsString("BORN", born);
        t.Post();
    }
}

} // namespace

// A damaged index header: the tags come back with their own kinds (a character tag stays a
// character tag, a date tag a date tag) and in their own order.
TEST(MdxIndex, DamagedHeaderRebuildKeepsCharacterAndDateTags)
{
    TempDir tmp;
    makePeople(tmp.str(), {{"Tver", "19991231"}, {"Omsk", "20240315"}, {"Abakan", "20000229"}});
    auto m = testutil::readAll(tmp.str() + "PEOPLE.MDX");
    std::fill(m.begin(), m.begin() + 64, 0xEE);
    testutil::writeAll(tmp.str() + "PEOPLE.MDX", m);

    struct Case { const char *tag; char keyType; int keyLength; std::vector<int64_t> order; };
    const Case cases[] = {{"CITY", 'C', 12, {3, 2, 1}}, {"BORN", 'D', 8, {1, 3, 2}}};
    for (const Case &c : cases) {
        Table t;
        t.DatabaseName = tmp.str();
        t.TableName = "people.dbf";
        t.ReadOnly = false;
        t.IndexDefs = {{"CITY", "CITY"}, {"BORN", "BORN"}};
        t.IndexName = c.tag;
        ASSERT_NO_THROW(t.Open()) << c.tag;
        std::vector<int64_t> recs;
        for (t.First(); !t.Eof(); t.Next())
            recs.push_back(t.recordNumber());
        EXPECT_EQ(recs, c.order) << c.tag;
        t.Close();
        MdxIndex mdx(tmp.str() + "PEOPLE.MDX", false);
        const MdxIndex::TagSpec &spec = mdx.tag(mdx.findTag(c.tag));
        EXPECT_EQ(spec.keyType, c.keyType) << c.tag;
        EXPECT_EQ(spec.keyLength, c.keyLength) << c.tag;
    }
    EXPECT_EQ(testutil::independentProblems(tmp.str() + "people.dbf"), "");
}

// The link seeks the detail's index with a key of the detail tag's own kind: character and date
// tags find the master's value.
TEST(MdxIndex, LinkedSeekFindsCharacterAndDateKeys)
{
    TempDir tmp;
    makePeople(tmp.str(), {{"Tver", "19991231"}, {"Omsk", "20240315"}, {"Tver", "20240315"}, {"Omsk", ""}});
    FieldDefs fields(2);
    fields[0].name = "CITY"; fields[0].nativeType = 'C'; fields[0].width = 12;
    fields[1].name = "BORN"; fields[1].nativeType = 'D'; fields[1].width = 8;
    createDbaseTable(tmp.str(), "master.dbf", fields, {}, 0x57);
    {
        Table m;
        m.DatabaseName = tmp.str();
        m.TableName = "master.dbf";
        m.ReadOnly = false;
        m.Open();
        m.Insert();
        m.setFieldAsString("CITY", "Tver");
        m.setFieldAsString("BORN", "20240315");
        m.Post();
    }
    struct Case { const char *tag; std::vector<int64_t> rows; };
    const Case cases[] = {{"CITY", {1, 3}}, {"BORN", {2, 3}}};
    for (const Case &c : cases) {
        Table master, detail;
        DataSource source;
        master.DatabaseName = detail.DatabaseName = tmp.str();
        master.TableName = "master.dbf";
        detail.TableName = "people.dbf";
        detail.IndexName = c.tag;
        detail.MasterFields = c.tag;
        source.setDataSet(&master);
        detail.setMasterSource(&source);
        master.Open();
        detail.Open();
        master.First();
        std::vector<int64_t> recs;
        for (detail.First(); !detail.Eof(); detail.Next())
            recs.push_back(detail.recordNumber());
        EXPECT_EQ(recs, c.rows) << c.tag;
    }
}

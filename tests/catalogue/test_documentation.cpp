// The documenting build: the catalogue rows Do it writes for the readable tables, numbered as Do
// it numbers them; a table that cannot be read documented with its error instead of stopping
// the build; each table described beside its rows; a failing catalogue write still stops it.
#include "catalogue/documentation.h"
#include "catalogue_fixture.h"
#include "tables/error.h"
#include "tables/file.h"

#include <sstream>

namespace {

class DocumentationTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openBoth();
    }
    void pick(const std::vector<std::string> &files)
    {
        for (const std::string &f : files) {
            const std::string full = f.front() == '/' ? f : testutil::fixture(f);
            const size_t slash = full.find_last_of('/');
            PathList.push_back(full.substr(0, slash + 1));
            NameList.push_back(full.substr(slash + 1));
        }
    }
    std::string dump()
    {
        std::ostringstream out;
        for (MainData.First(); !MainData.Eof(); MainData.Next()) {
            out << MainData.fieldAsString("ZORID") << ' ' << MainData.fieldAsString("ZORTBLNAME") << '\n';
            for (TablesData.First(); !TablesData.Eof(); TablesData.Next())
                out << "  " << TablesData.fieldAsString("ZOR_NAME") << ' ' << TablesData.fieldAsString("ZOR_TYPE") << ' '
                    << TablesData.fieldAsString("ZOR_SIZE") << '\n';
        }
        return out.str();
    }
    Table Current;
    std::vector<std::string> NameList, PathList;
};

TEST_F(DocumentationTest, SameRowsAsDoItAndUnreadableTablesDocumented)
{
    // Do it over the readable tables alone.
    pick({"dbase/cp866.dbf", "paradox/cyr1251.db", "dbase/db4_memo.dbf"});
    catalogue::build(Current, MainData, TablesData, DataSource2, NameList, PathList);
    const std::string doIt = dump();

    // The documenting build with unreadable files between them.
    NameList.clear();
    PathList.clear();
    pick({"dbase/cp866.dbf", "/nonexistent/gone.dbf", "paradox/cyr1251.db", "dbase/fields.txt", "dbase/db4_memo.dbf"});
    const std::vector<TableInfo> tables =
        catalogue::buildDocumented(Current, MainData, TablesData, DataSource2, NameList, PathList);
    EXPECT_EQ(dump(), doIt);
    ASSERT_EQ(tables.size(), 5u);
    const int numbers[] = {1, 0, 2, 0, 3};
    for (size_t i = 0; i < tables.size(); ++i) {
        EXPECT_EQ(tables[i].number, numbers[i]) << i;
        EXPECT_EQ(tables[i].name, NameList[i]);
        EXPECT_EQ(tables[i].folder, PathList[i]);
        EXPECT_EQ(tables[i].error.empty(), numbers[i] != 0) << tables[i].error;
    }
    EXPECT_NE(tables[1].error.find("не найден"), std::string::npos);
    // The catalogue's view beside each field: the name as stored (cut to 20), the label, the size.
    ASSERT_EQ(tables[4].fields.size(), 6u);
    EXPECT_TRUE(tables[4].fields[0].catalogued);
    EXPECT_EQ(tables[4].fields[0].catalogueName, "NAME");
    EXPECT_EQ(tables[4].fields[0].catalogueType, "String");
    EXPECT_EQ(tables[4].fields[0].catalogueSize, 20);
    EXPECT_EQ(tables[4].fields[5].catalogueType, "Memo");
    EXPECT_EQ(tables[2].fields[2].catalogueName, tables[2].fields[2].name); // Cyrillic fits the catalogue

    // Described again without the catalogue (the preview's Save): the same descriptions.
    const std::vector<TableInfo> again = catalogue::describeTables(NameList, PathList);
    ASSERT_EQ(again.size(), tables.size());
    for (size_t i = 0; i < tables.size(); ++i) {
        EXPECT_EQ(again[i].number, tables[i].number);
        EXPECT_EQ(again[i].fields.size(), tables[i].fields.size());
    }
}

std::string summary(const TableInfo &t)
{
    std::ostringstream out;
    out << t.number << ' ' << t.folder << t.name << " [" << t.error << "] " << t.level << ' ' << t.codePage.codePage
        << ' ' << t.fileRecords.value_or(-1) << '\n';
    for (const auto &f : t.fields)
        out << "  " << f.name << ' ' << f.catalogueName << ' ' << f.nativeCode << ' ' << f.width << '\n';
    for (const auto &c : t.companions)
        out << "  " << c.file << ' ' << int(c.state) << '\n';
    for (const auto &f : t.findings)
        out << "  " << f << '\n';
    return out.str();
}

TEST_F(DocumentationTest, DescribedAfterTheBuildAsDuringIt)
{
    // An export describes each table on another thread while the build reads the next ones: a
    // table handed over keeps its files, whatever Current opens after it.
    pick({"dbase/cp866.dbf", "/nonexistent/gone.dbf", "paradox/cyr1251.db", "dbase/db4_memo.dbf",
          "dbase/bad_count.dbf"});
    std::vector<std::string> now;
    for (const TableInfo &t : catalogue::buildDocumented(Current, MainData, TablesData, DataSource2, NameList, PathList))
        now.push_back(summary(t));
    const std::string rows = dump();

    std::vector<catalogue::Describing> later;
    catalogue::buildDocumented(Current, MainData, TablesData, DataSource2, NameList, PathList,
                               [&later](catalogue::Describing &&describe) { later.push_back(std::move(describe)); });
    EXPECT_FALSE(Current.Active());
    EXPECT_EQ(dump(), rows);
    catalogue::openTable(Current, testutil::fixture("dbase/"), "db3_memo.dbf", 0);
    ASSERT_EQ(later.size(), now.size());
    for (size_t i = 0; i < later.size(); ++i)
        EXPECT_EQ(summary(later[i]()), now[i]) << i;
}

TEST_F(DocumentationTest, ChosenCodePagesAndLongNames)
{
    pick({"dbase/db7_types.dbf", "dbase/cp866.dbf"});
    const std::vector<TableInfo> tables = catalogue::buildDocumented(
        Current, MainData, TablesData, DataSource2, NameList, PathList, {}, [](size_t i) { return i == 1 ? 1251 : 0; });
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0].fields[1].name, "LONG_FIELD_NAME_OF_31_CHARACTER");
    EXPECT_EQ(tables[0].fields[1].catalogueName, "LONG_FIELD_NAME_OF_3");
    EXPECT_EQ(tables[1].codePage.codePage, 1251);
    EXPECT_EQ(tables[1].codePage.source, CodePageVerdict::User);
    EXPECT_EQ(Current.CodePage, 1251);
}

TEST_F(DocumentationTest, CatalogueWriteFailureStopsIt)
{
    pick({"dbase/cp866.dbf", "dbase/db4_memo.dbf"});
    faults::failAt(faults::Write, 1, ENOSPC);
    EXPECT_THROW(catalogue::buildDocumented(Current, MainData, TablesData, DataSource2, NameList, PathList), Error);
    faults::reset();
}

} // namespace

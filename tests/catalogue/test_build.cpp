// The catalogue build over picked tables: one main row per table, one field row per field with
// its type label and size, numbered in pick-list order; a failing table stops the build.
#include "catalogue_fixture.h"
#include "tables/error.h"

#include <sstream>

namespace {

class BuildTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openBoth();
    }
    // Picks fixture files (relative to tests/fixtures) the way the pick list holds them.
    void pick(const std::vector<std::string> &files)
    {
        for (const std::string &f : files) {
            std::string full = testutil::fixture(f);
            size_t slash = full.find_last_of('/');
            PathList.push_back(full.substr(0, slash + 1));
            NameList.push_back(full.substr(slash + 1));
        }
    }
    void build() { catalogue::build(Current, MainData, TablesData, DataSource2, NameList, PathList); }
    // The catalogue as text: "1 NAME.DBF" for a main row, then "  FIELD Label size" per field row.
    std::string dump()
    {
        std::ostringstream out;
        for (MainData.First(); !MainData.Eof(); MainData.Next()) {
            out << MainData.fieldAsString("ZORID") << ' ' << MainData.fieldAsString("ZORTBLNAME") << '\n';
            for (TablesData.First(); !TablesData.Eof(); TablesData.Next())
                out << "  " << TablesData.fieldAsString("ZOR_NAME") << ' ' << TablesData.fieldAsString("ZOR_TYPE") << ' '
                    << TablesData.fieldAsString("ZOR_SIZE") << (TablesData.fieldAsString("ZOR_DEC").empty() ? "" : " DEC!")
                    << '\n';
        }
        return out.str();
    }
    Table Current;
    std::vector<std::string> NameList, PathList;
};

struct Golden { const char *file; const char *catalogue; };

// What each kind of table gives: the labels and sizes a user reads in the report.
const Golden kGolden[] = {
    {"paradox/alltypes.db",
     "1 alltypes.db\n  ALPHA String 20\n  DATE DateTime 0\n  SHORT Numeric 0\n  LONGINT Numeric 0\n"
     "  MONEY Currency 0\n  NUMBER Numeric 0\n  LOGICAL Boolean 0\n  MEMO Memo 10\n  BLOB BLOB 10\n"
     "  FMTMEMO Memo 10\n  OLE OLE 10\n  GRAPHIC Graphic 10\n  TIME DateTime 0\n  TIMESTAMP DateTime 0\n"
     "  AUTOINC Counter 0\n  BCD BCD 2\n  BYTES Bytes 8\n  FIELD_NAME_25_CHARS_ String 10\n"},
    {"dbase/db3_plain.dbf",
     "1 db3_plain.dbf\n  NAME String 20\n  QTY Numeric 0\n  PRICE Numeric 0\n  BORN DateTime 0\n  OK Boolean 0\n"},
    {"dbase/db4_memo.dbf",
     "1 db4_memo.dbf\n  NAME String 20\n  AMOUNT Numeric 0\n  PRICE Numeric 0\n  WHEN DateTime 0\n  OK Boolean 0\n"
     "  NOTES Memo 10\n"},
    {"dbase/vfp_types.dbf",
     "1 vfp_types.dbf\n  NAME String 20\n  MONEY Currency 0\n  STAMP DateTime 0\n  CNT Numeric 0\n  DBL Numeric 0\n"
     "  WHEN DateTime 0\n  NOTE Memo 4\n  OBJ OLE 4\n  AMT Numeric 0\n"},
    {"dbase/db7_types.dbf",
     "1 db7_types.dbf\n  NAME String 20\n  LONG_FIELD_NAME_OF_3 Numeric 0\n  AUTO Counter 0\n  STAMP DateTime 0\n"
     "  DBL Numeric 0\n  NUM Numeric 0\n  WHEN DateTime 0\n  OK Boolean 0\n"},
    {"dbase/clipper_wide.dbf", "1 clipper_wide.dbf\n  ID Numeric 0\n  LONGTXT String 300\n"},
    {"dbase/fox26_memo.dbf",
     "1 fox26_memo.dbf\n  CODE String 10\n  AMOUNT Numeric 0\n  WHEN DateTime 0\n  FLAG Boolean 0\n"
     "  DESCR Memo 10\n  PIC OLE 10\n"},
    {"dbase/empty.dbf", "1 empty.dbf\n  NAME String 10\n  N Numeric 0\n  D DateTime 0\n"},
};

} // namespace

TEST_F(BuildTest, EachKindGivesItsLabelsAndSizes)
{
    for (const Golden &g : kGolden) {
        NameList.clear();
        PathList.clear();
        pick({g.file});
        ASSERT_NO_THROW(build()) << g.file;
        EXPECT_EQ(dump(), g.catalogue) << g.file;
    }
}

TEST_F(BuildTest, NumbersFollowThePickListAndStartAgainAtOne)
{
    pick({"dbase/empty.dbf", "dbase/empty.dbf", "dbase/clipper_wide.dbf"}); // the same file twice
    build();
    const std::string expected = "1 empty.dbf\n  NAME String 10\n  N Numeric 0\n  D DateTime 0\n"
                                 "2 empty.dbf\n  NAME String 10\n  N Numeric 0\n  D DateTime 0\n"
                                 "3 clipper_wide.dbf\n  ID Numeric 0\n  LONGTXT String 300\n";
    EXPECT_EQ(dump(), expected);
    build(); // again: the same catalogue, numbered from 1
    EXPECT_EQ(dump(), expected);
    // Current stays open on the last table; MainData stands on its last row.
    EXPECT_TRUE(Current.Active());
    EXPECT_EQ(Current.TableName, "clipper_wide.dbf");
}

TEST_F(BuildTest, AnEmptyPickListEmptiesTheCatalogue)
{
    pick({"dbase/empty.dbf"});
    build();
    NameList.clear();
    PathList.clear();
    build();
    EXPECT_EQ(dump(), "");
    DataSource2.setEnabled(false);
    EXPECT_EQ(rows(TablesData), 0);
}

TEST_F(BuildTest, AFailingTableStopsTheBuildAndKeepsTheRowsBeforeIt)
{
    struct Bad { const char *what; std::vector<unsigned char> bytes; const char *said; };
    const Bad bads[] = {
        {"missing", {}, "не найден"},
        {"empty file", {0}, "пуст"},
        {"not a table", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', ' ', 'n', 'o', 't', ' ', 'a', ' ',
                         't', 'a', 'b', 'l', 'e', '.', '.', '.', '.', '.', '.', '.', '.', '.', '.'}, "dBASE"},
    };
    for (const Bad &bad : bads) {
        NameList.clear();
        PathList.clear();
        pick({"dbase/empty.dbf"});
        std::string name = std::string("bad_") + (bad.bytes.empty() ? "missing" : std::to_string(bad.bytes.size())) + ".dbf";
        if (!bad.bytes.empty()) {
            std::vector<unsigned char> bytes = bad.bytes;
            if (bytes.size() == 1)
                bytes.clear();
            testutil::writeAll(tmp_.str() + name, bytes);
        }
        NameList.push_back(name);
        PathList.push_back(tmp_.str());
        pick({"dbase/clipper_wide.dbf"});
        try {
            build();
            ADD_FAILURE() << bad.what << ": the build did not fail";
        } catch (const Error &e) {
            std::string msg = e.what();
            EXPECT_NE(msg.find(name), std::string::npos) << bad.what << ": " << msg;
            EXPECT_NE(msg.find(bad.said), std::string::npos) << bad.what << ": " << msg;
        }
        EXPECT_EQ(dump(), "1 empty.dbf\n  NAME String 10\n  N Numeric 0\n  D DateTime 0\n") << bad.what;
        // On the disk already, not only in the components' buffers: a crash now keeps them.
        EXPECT_EQ(liveRecords("Data/ZORMain.dbf"), 1) << bad.what;
        EXPECT_EQ(liveRecords("Data/ZORDet.dbf"), 3) << bad.what;
    }
}

TEST_F(BuildTest, AnotherExtensionIsRecognisedByTheHeader)
{
    // Neither ".dbf" nor ".db": a dBASE table, a Paradox table, or neither, told by its bytes.
    struct Case { const char *from, *name, *catalogue, *said; };
    const Case cases[] = {
        {"dbase/empty.dbf", "empty.tab", "1 empty.tab\n  NAME String 10\n  N Numeric 0\n  D DateTime 0\n", nullptr},
        {"paradox/empty.db", "EMPTY.PDX", nullptr, nullptr},
        {"dbase/fields.txt", "fields.txt", "", "это не таблица dBASE или Paradox"},
        {"dbase/empty.dbf", "noextension", "1 noextension\n  NAME String 10\n  N Numeric 0\n  D DateTime 0\n", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testutil::copy(testutil::fixture(c.from), tmp_.str() + c.name);
        NameList = {c.name};
        PathList = {tmp_.str()};
        if (c.said) {
            try {
                build();
                ADD_FAILURE() << "the build did not fail";
            } catch (const Error &e) {
                EXPECT_EQ(std::string(e.what()), "Файл «" + tmp_.str() + c.name + "»: " + c.said) << e.what();
            }
            EXPECT_EQ(dump(), c.catalogue);
            continue;
        }
        ASSERT_NO_THROW(build());
        if (c.catalogue) {
            EXPECT_EQ(dump(), c.catalogue);
        } else {
            // The Paradox table gives the same rows as under its own extension.
            const std::string asParadox = dump();
            NameList.clear();
            PathList.clear();
            pick({c.from});
            build();
            std::string expected = dump();
            expected.replace(expected.find("empty.db"), 8, c.name);
            EXPECT_EQ(asParadox, expected);
            EXPECT_NE(asParadox.find("\n  "), std::string::npos) << "no field rows";
        }
    }
}

TEST_F(BuildTest, TheCatalogueReadsBackInAnIndependentReader)
{
    if (!testutil::havePython("dbfread"))
        GTEST_SKIP() << "python3-dbfread missing";
    pick({"paradox/alltypes.db", "dbase/db4_memo.dbf"});
    build();
    int rc = 0;
    std::string out = testutil::run(testutil::python() +
                                        " -c \"import dbfread; print([(r['ZOR_NAME'], r['ZOR_TYPE'], r['ZOR_SIZE'], r['ZOR_ID']) "
                                        "for r in dbfread.DBF('Data/ZORDet.dbf')][-3:])\"",
                                    &rc);
    ASSERT_EQ(rc, 0) << out;
    EXPECT_EQ(out, "[('WHEN', 'DateTime', 0.0, 2.0), ('OK', 'Boolean', 0.0, 2.0), ('NOTES', 'Memo', 10.0, 2.0)]\n");
}

TEST_F(BuildTest, PathsWithCyrillicNamesAreReadAndStored)
{
    fs::create_directories(testutil::u8(tmp_.str() + "Данные"));
    testutil::copy(testutil::fixture("dbase/cp866.dbf"), tmp_.str() + "Данные/клиенты.dbf");
    NameList = {"клиенты.dbf"};
    PathList = {tmp_.str() + "Данные/"};
    build();
    MainData.First();
    EXPECT_EQ(MainData.fieldAsString("ZORTBLNAME"), "клиенты.dbf");
    EXPECT_EQ(MainData.fieldAsString("ZORTBLPATH"), tmp_.str() + "Данные/");
    EXPECT_EQ(dump(), "1 клиенты.dbf\n  NAME String 20\n  CITY String 20\n  N Numeric 0\n");
}

// Harbour's own kinds in a level-3 table are labelled as what they hold, size 0.
TEST_F(BuildTest, HarbourKindsAreLabelledAsWhatTheyHold)
{
    testutil::TempDir dir;
    tables::FieldDefs fields;
    for (auto [name, kind, width] : {std::tuple{"STAMP", '@', 8}, {"CHANGED", '=', 8}, {"VERSION", '^', 8},
                                     {"COUNTER", '+', 4}, {"SHORT", '2', 2}, {"LONG", '4', 4}, {"DOUBLE", '8', 8}}) {
        tables::FieldDef f;
        f.name = name;
        f.nativeType = kind;
        f.width = width;
        fields.push_back(f);
    }
    tables::createDbaseTable(dir.str(), "harbour.dbf", fields, {}, 0x57);
    NameList = {"harbour.dbf"};
    PathList = {dir.str()};
    ASSERT_NO_THROW(build());
    EXPECT_EQ(dump(), "1 harbour.dbf\n  STAMP DateTime 0\n  CHANGED DateTime 0\n  VERSION Numeric 0\n"
                      "  COUNTER Counter 0\n  SHORT Numeric 0\n  LONG Numeric 0\n  DOUBLE Numeric 0\n");
}

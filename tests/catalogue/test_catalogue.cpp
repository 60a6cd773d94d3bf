// The catalogue tables: opening, emptying, writing rows, the link, and what independent
// readers see in the files afterwards.
#include "catalogue/catalogue.h"
#include "tables/error.h"
#include "catalogue_fixture.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace tables;
using testutil::TempDir;
namespace fs = std::filesystem;


TEST(TypeLabel, EveryCodeHasItsLabel)
{
    const char *labels[] = {"Unknown", "String", "Numeric", "Numeric", "Numeric", "Boolean", "Numeric", "Currency",
                            "BCD", "DateTime", "DateTime", "DateTime", "Bytes", "Bytes", "Counter", "BLOB", "Memo",
                            "Graphic", "Memo", "OLE", "OLE", "TypedBinary", "Cursor"};
    for (int code = 0; code < 23; ++code)
        EXPECT_EQ(catalogue::typeLabel(code), labels[code]) << code;
    EXPECT_EQ(catalogue::typeLabel(23), "Cursor");
    EXPECT_EQ(catalogue::typeLabel(-1), "Cursor");
}

TEST_F(CatalogueTest, OpensTheShippedFilesEmpty)
{
    openBoth();
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(rows(MainData), 0);
    DataSource2.setEnabled(false);
    EXPECT_EQ(rows(TablesData), 0);
}

TEST_F(CatalogueTest, MissingOrForeignFilesGiveBothMessagesInOrder)
{
    struct Case { const char *what; void (*spoil)(); std::vector<std::string> expected; };
    const std::string mainMsg = "Не могу открыть файл ZORMain.dbf из поддиректории Data\\";
    const std::string detMsg = "Не могу открыть файл ZORDet.dbf из поддиректории Data\\";
    const Case cases[] = {
        {"Data missing", [] { fs::remove_all("Data"); }, {mainMsg, detMsg}},
        {"main table missing", [] { fs::remove("Data/ZORMain.dbf"); }, {mainMsg}},
        {"field table is not a table", [] { testutil::writeAll("Data/ZORDet.dbf", {'h', 'e', 'l', 'l', 'o'}); }, {detMsg}},
        {"field table is another table", [] {
             testutil::copy("Data/ZORMain.dbf", "Data/ZORDet.dbf");
         }, {detMsg}},
    };
    for (const Case &c : cases) {
        TearDown();
        SetUp();
        c.spoil();
        RecordingHost h;
        EXPECT_FALSE(catalogue::open(MainData, TablesData, h)) << c.what;
        EXPECT_EQ(h.messages, c.expected) << c.what;
        EXPECT_EQ(h.terminations, int(c.expected.size())) << c.what;
    }
}

TEST_F(CatalogueTest, WrittenRowBecomesCurrentAndTheLinkFollowsIt)
{
    openBoth();
    writeTables(3, 2);
    // MainData stands on the row just written; the link shows its fields.
    EXPECT_EQ(MainData.fieldAsString("ZORID"), "3");
    EXPECT_EQ(fieldNames(), (std::vector<std::string>{"F3_1", "F3_2"}));
    // Moving the master moves the detail.
    MainData.First();
    EXPECT_EQ(fieldNames(), (std::vector<std::string>{"F1_1", "F1_2"}));
    MainData.Next();
    EXPECT_EQ(TablesData.fieldAsString("ZOR_NAME"), "F2_1");
    // With the link off every row shows, in table-number order.
    DataSource2.setEnabled(false);
    EXPECT_EQ(rows(TablesData), 6);
    DataSource2.setEnabled(true);
    EXPECT_EQ(rows(TablesData), 2);
}

TEST_F(CatalogueTest, EmptyingLeavesNoRowOfAnyNumber)
{
    openBoth();
    // Emptying empty tables does nothing and raises nothing.
    EXPECT_NO_THROW(catalogue::emptyFields(TablesData, DataSource2));
    EXPECT_NO_THROW(catalogue::emptyMain(MainData));

    writeTables(4, 3);
    MainData.First();
    MainData.Next(); // standing on table 2: emptying must not stop at its rows
    catalogue::emptyFields(TablesData, DataSource2);
    DataSource2.setEnabled(false);
    EXPECT_EQ(rows(TablesData), 0);
    DataSource2.setEnabled(true);
    EXPECT_TRUE(DataSource2.Enabled());
    catalogue::emptyMain(MainData);
    EXPECT_EQ(rows(MainData), 0);

    // Refilled, the tables read as new; reopened, too.
    writeTables(2, 1);
    MainData.Close();
    TablesData.Close();
    openBoth();
    EXPECT_EQ(rows(MainData), 2);
    MainData.First();
    EXPECT_EQ(fieldNames(), std::vector<std::string>{"F1_1"});
}

TEST_F(CatalogueTest, ValuesAreCutToTheColumnWidthsInCharacters)
{
    openBoth();
    const std::string longFolder = "/" + std::string(250, 'p') + "/";
    const std::string cyrillicName = "ДлинноеИмяПоляПарадокса25"; // 25 characters, 50 bytes in UTF-8
    catalogue::writeMainRow(MainData, std::string(60, 'n') + ".dbf", longFolder, 1);
    catalogue::writeFieldRow(TablesData, cyrillicName, "String", 10, 1);
    MainData.flush();
    TablesData.flush();
    EXPECT_EQ(MainData.fieldAsString("ZORTBLNAME"), std::string(50, 'n'));
    EXPECT_EQ(MainData.fieldAsString("ZORTBLPATH"), longFolder.substr(0, 200));
    EXPECT_EQ(TablesData.fieldAsString("ZOR_NAME"), "ДлинноеИмяПоляПарадо"); // 20 characters, not 20 bytes
    EXPECT_EQ(TablesData.fieldAsString("ZOR_SIZE"), "10");
    EXPECT_EQ(TablesData.fieldAsString("ZOR_DEC"), "");
}

TEST_F(CatalogueTest, LettersCp1251LacksAreStoredTransliterated)
{
    // German, Polish, Czech and Nordic names stay readable in the catalogue (and so in the
    // report); Cyrillic and the signs cp1251 holds are kept.
    openBoth();
    catalogue::writeMainRow(MainData, "Łódź.dbf", "/Übersicht/Ærø/", 1);
    catalogue::writeFieldRow(TablesData, "Währung", "String", 10, 1);
    catalogue::writeFieldRow(TablesData, "Größe_Příliš", "String", 10, 1);
    catalogue::writeFieldRow(TablesData, "Цена «№»", "String", 10, 1);
    MainData.flush();
    TablesData.flush();
    EXPECT_EQ(MainData.fieldAsString("ZORTBLNAME"), "Lodz.dbf");
    EXPECT_EQ(MainData.fieldAsString("ZORTBLPATH"), "/Ubersicht/AEro/");
    EXPECT_EQ(fieldNames(), (std::vector<std::string>{"Wahrung", "Grosse_Prilis", "Цена «№»"}));
}

TEST_F(CatalogueTest, IndependentReadersSeeTheSameRows)
{
    if (!testutil::havePython("dbfread, dbf"))
        GTEST_SKIP() << "python3-dbfread or python3-dbf missing";
    openBoth();
    catalogue::writeMainRow(MainData, "клиенты.dbf", "/данные/", 1);
    catalogue::writeFieldRow(TablesData, "ФАМИЛИЯ", "String", 30, 1);
    catalogue::writeFieldRow(TablesData, "SUMMA", "Numeric", 0, 1);
    catalogue::writeMainRow(MainData, "b.db", "/x/", 2);
    catalogue::writeFieldRow(TablesData, "Zip/Postal Code", "String", 10, 2);
    MainData.flush();
    TablesData.flush();

    int rc = 0;
    std::string main = testutil::run(testutil::python() + " " + testutil::tool("readers.py") + " Data/ZORMain.dbf", &rc);
    ASSERT_EQ(rc, 0) << main;
    for (const char *reader : {"dbfread", "dbf"}) {
        SCOPED_TRACE(reader);
        std::string part = main.substr(main.find(std::string("reader ") + reader));
        EXPECT_NE(part.find("cp1251"), std::string::npos);
        EXPECT_NE(part.find("col ZORTBLNAME C 50 0\ncol ZORTBLPATH C 200 0\ncol ZORID F 19 0\n"), std::string::npos) << part;
        EXPECT_NE(part.find("row клиенты.dbf|/данные/|1\nrow b.db|/x/|2\n"), std::string::npos) << part;
    }
    std::string det = testutil::run(testutil::python() + " " + testutil::tool("readers.py") + " Data/ZORDet.dbf", &rc);
    ASSERT_EQ(rc, 0) << det;
    EXPECT_NE(det.find("col ZOR_NAME C 20 0\ncol ZOR_TYPE C 20 0\ncol ZOR_SIZE F 19 0\ncol ZOR_DEC F 19 0\ncol ZOR_ID F 19 0\n"),
              std::string::npos) << det;
    EXPECT_NE(det.find("row ФАМИЛИЯ|String|30||1\nrow SUMMA|Numeric|0||1\nrow Zip/Postal Code|String|10||2\n"),
              std::string::npos) << det;

    for (const char *t : {"Data/ZORMain.dbf", "Data/ZORDet.dbf"})
        EXPECT_EQ(testutil::independentProblems(t), "");
}

TEST_F(CatalogueTest, RepeatedEmptyAndRefillKeepsTheFilesSmall)
{
    openBoth();
    uintmax_t biggest = 0;
    for (int round = 0; round < 5; ++round) {
        catalogue::emptyMain(MainData);
        catalogue::emptyFields(TablesData, DataSource2);
        writeTables(50, 20);
        MainData.flush();
        TablesData.flush();
        uintmax_t size = fs::file_size("Data/ZORDet.dbf") + fs::file_size("Data/ZORDET.MDX");
        if (round == 0)
            biggest = size;
        EXPECT_LE(size, biggest) << "round " << round;
    }
}

// The same refusal for a second copy in this process (two opens of each table): on Windows,
// where there is no fork, this is the test of the one-writer lock.
TEST_F(CatalogueTest, ASecondOpenInTheSameProcessIsRefusedWhileTheFirstHoldsTheTables)
{
    openBoth();
    {
        Table m, t;
        DataSource s;
        RecordingHost h;
        catalogue::setUp(m, t, s);
        EXPECT_FALSE(catalogue::open(m, t, h));
        EXPECT_EQ(h.messages.size(), 2u) << "the second copy must get both messages";
    }
    // Our own tables are untouched and still writable.
    writeTables(1, 1);
    MainData.flush();
    EXPECT_EQ(rows(MainData), 1);
}

#ifndef _WIN32 // needs fork
TEST_F(CatalogueTest, ASecondWriterIsRefusedWhileTheFirstHoldsTheTables)
{
    openBoth();
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        Table m, t;
        DataSource s;
        RecordingHost h;
        catalogue::setUp(m, t, s);
        bool opened = catalogue::open(m, t, h);
        _exit(!opened && h.messages.size() == 2 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the second copy must get both messages";
    // Our own tables are untouched and still writable.
    writeTables(1, 1);
    MainData.flush();
    EXPECT_EQ(rows(MainData), 1);
}

TEST_F(CatalogueTest, AReadOnlyCatalogueFileGetsItsMessage)
{
    // Permission bits bind everyone but root, so the opening runs in a child that, when started
    // as root, gives root up first (user and group "nobody").
    for (const char *f : {"ZORMain.dbf", "ZORMAIN.MDX", "ZORDet.dbf", "ZORDET.MDX"})
        fs::permissions(fs::path("Data") / f, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec & ~fs::perms::others_exec);
    fs::permissions("Data", fs::perms::all);
    fs::permissions(tmp_.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions("Data/ZORMain.dbf", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::vector<unsigned char> before = testutil::readAll("Data/ZORMain.dbf");
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(out[0]);
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        Table m, t;
        DataSource s;
        RecordingHost h;
        catalogue::setUp(m, t, s);
        const bool opened = catalogue::open(m, t, h);
        std::string said;
        for (const std::string &message : h.messages)
            said += message + "\n";
        if (write(out[1], said.data(), said.size()) != ssize_t(said.size()))
            _exit(4);
        _exit(opened ? 1 : 0);
    }
    close(out[1]);
    std::string said;
    char buf[512];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        said.append(buf, size_t(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    ASSERT_NE(WEXITSTATUS(status), 3) << "could not give up root";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "opened a read-only catalogue for writing";
    EXPECT_EQ(said, "Не могу открыть файл ZORMain.dbf из поддиректории Data\\\n");
    EXPECT_EQ(testutil::readAll("Data/ZORMain.dbf"), before) << "the read-only file changed";
}
#endif

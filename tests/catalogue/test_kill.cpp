// A writer killed at any instant leaves both catalogue tables openable, every row it posted
// either wholly there or not there at all, and an index that agrees with its table.
#include "catalogue_fixture.h"
#include "tableprobe.h"
#include "tables/dbffile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using namespace tables;
namespace fs = std::filesystem;

namespace {

struct QuietHost : catalogue::Host {
    std::vector<std::string> messages;
    void showMessage(const std::string &t) override { messages.push_back(t); }
    void terminate() override {}
};

// The child: empties the catalogue, then writes tables until it is killed. Row contents follow
// from the table number, so the parent can tell a whole row from a torn one.
[[noreturn]] void writeForever(unsigned seed)
{
    Table MainData, TablesData;
    DataSource DataSource2;
    QuietHost host;
    catalogue::setUp(MainData, TablesData, DataSource2);
    if (!catalogue::open(MainData, TablesData, host))
        _exit(3);
    std::mt19937 rng(seed);
    try {
        catalogue::emptyMain(MainData);
        catalogue::emptyFields(TablesData, DataSource2);
        for (int t = 1;; ++t) {
            catalogue::writeMainRow(MainData, "T" + std::to_string(t) + ".dbf", "/folder/", t);
            int fields = 5 + int(rng() % 36);
            for (int f = 1; f <= fields; ++f)
                catalogue::writeFieldRow(TablesData, "F" + std::to_string(t) + "_" + std::to_string(f), "String", f, t);
            if (rng() % 3 == 0) {
                MainData.flush();
                TablesData.flush();
            }
            if (t % 400 == 0) { // start over now and then, so that kills also hit the emptying
                catalogue::emptyMain(MainData);
                catalogue::emptyFields(TablesData, DataSource2);
            }
        }
    } catch (...) {
        _exit(4);
    }
}

// The deletion flag of every record the header counts, as the bytes on disk hold it: a torn
// write could leave anything there, and a reader would take any byte but '*' for a live row.
std::string badDeletionFlags(const std::string &path)
{
    const std::vector<unsigned char> b = testutil::readAll(path);
    if (b.size() < 12)
        return path + ": " + std::to_string(b.size()) + " bytes";
    const size_t count = b[4] | b[5] << 8 | b[6] << 16 | size_t(b[7]) << 24;
    const size_t header = b[8] | b[9] << 8, record = b[10] | b[11] << 8;
    std::string bad;
    for (size_t r = 0; r < count && header + (r + 1) * record <= b.size(); ++r) {
        const unsigned char flag = b[header + r * record];
        if (flag != ' ' && flag != '*')
            bad += path + " record " + std::to_string(r + 1) + ": flag " + std::to_string(flag) + "\n";
    }
    return bad;
}

// Every record on disk is whole: the flag is ' ' or '*' and the values fit the pattern.
void checkRowsWhole(const std::string &where)
{
    for (const char *t : {"Data/ZORMain.dbf", "Data/ZORDet.dbf"})
        ASSERT_EQ(badDeletionFlags(t), "") << where;
    DbfFile main("Data/ZORMain.dbf", false);
    for (int64_t r = 0; r < main.recordCount(); ++r) {
        int id = std::stoi(main.fieldText(r, main.fieldIndex("ZORID")));
        ASSERT_EQ(main.fieldText(r, main.fieldIndex("ZORTBLNAME")), "T" + std::to_string(id) + ".dbf") << where;
        ASSERT_EQ(main.fieldText(r, main.fieldIndex("ZORTBLPATH")), "/folder/") << where;
    }
    DbfFile det("Data/ZORDet.dbf", false);
    for (int64_t r = 0; r < det.recordCount(); ++r) {
        std::string id = det.fieldText(r, det.fieldIndex("ZOR_ID"));
        std::string size = det.fieldText(r, det.fieldIndex("ZOR_SIZE"));
        ASSERT_FALSE(id.empty()) << where << " record " << r + 1;
        ASSERT_EQ(det.fieldText(r, det.fieldIndex("ZOR_NAME")), "F" + id + "_" + size) << where;
        ASSERT_EQ(det.fieldText(r, det.fieldIndex("ZOR_TYPE")), "String") << where;
        ASSERT_EQ(det.fieldText(r, det.fieldIndex("ZOR_DEC")), "") << where;
    }
}

// The child of the whole-build test: Do it over many picked tables, again and again.
[[noreturn]] void buildForever(const std::vector<std::string> &names, const std::vector<std::string> &paths)
{
    Table Current, MainData, TablesData;
    DataSource DataSource2;
    QuietHost host;
    catalogue::setUp(MainData, TablesData, DataSource2);
    if (!catalogue::open(MainData, TablesData, host))
        _exit(3);
    try {
        for (;;)
            catalogue::build(Current, MainData, TablesData, DataSource2, names, paths);
    } catch (...) {
        _exit(4);
    }
}

} // namespace

TEST(KillTest, EveryKillLeavesOpenableConsistentTables)
{
    testutil::TempDir tmp;
    makeShippedCatalogue(tmp.path());
    testutil::WorkingFolder inside(tmp.path());

    const char *env = std::getenv("ZORVIK_KILL_POINTS");
    const int points = env ? std::atoi(env) : 60;
    const bool python = testutil::havePython("dbfread");
    std::mt19937 rng(20261210);
    int killedWhileWriting = 0, withRows = 0;
    for (int i = 0; i < points; ++i) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            writeForever(unsigned(i));
        usleep(useconds_t(1000 + rng() % 40000)); // 1..41 ms: opening, emptying, writing, flushing
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself, status " << status;
        ++killedWhileWriting;
        std::string where = "kill point " + std::to_string(i);

        checkRowsWhole(where);
        withRows += DbfFile("Data/ZORDet.dbf", false).recordCount() > 0 ? 1 : 0;
        // The next start opens both tables without a message; opening repairs the index.
        {
            Table MainData, TablesData;
            DataSource DataSource2;
            QuietHost host;
            catalogue::setUp(MainData, TablesData, DataSource2);
            ASSERT_TRUE(catalogue::open(MainData, TablesData, host)) << where;
            // Rows of each table number are a run 1..n: no field row without its predecessors.
            for (MainData.First(); !MainData.Eof(); MainData.Next()) {
                int k = 0;
                for (TablesData.First(); !TablesData.Eof(); TablesData.Next())
                    ASSERT_EQ(TablesData.fieldAsString("ZOR_SIZE"), std::to_string(++k)) << where;
            }
        }
        if (i % 6 == 0) {
            for (const char *t : {"Data/ZORMain.dbf", "Data/ZORDet.dbf"})
                ASSERT_EQ(testutil::independentProblems(t, python), "") << where;
        }
    }
    // Most kills must land after rows reached the disk, or the test shows nothing.
    EXPECT_GT(withRows, points / 3);
    std::printf("kill points: %d, with rows on disk: %d\n", killedWhileWriting, withRows);
    RecordProperty("kill_points", killedWhileWriting);
}

TEST(KillTest, KilledDuringDoItTheNextStartOpensAndEmptiesTheCatalogue)
{
    testutil::TempDir tmp;
    makeShippedCatalogue(tmp.path());
    std::vector<std::string> names, paths;
    const char *picked[] = {"paradox/alltypes.db", "dbase/db4_memo.dbf", "dbase/vfp_types.dbf", "dbase/cp866.dbf",
                            "dbase/clipper_wide.dbf", "real/paradox/CUSTOMER.DB", "dbase/db7_types.dbf", "paradox/many.db"};
    for (int i = 0; i < 400; ++i) {
        std::string full = testutil::fixture(picked[i % 8]);
        names.push_back(full.substr(full.find_last_of('/') + 1));
        paths.push_back(full.substr(0, full.find_last_of('/') + 1));
    }
    testutil::WorkingFolder inside(tmp.path());
    const std::set<std::string> labels = {"Unknown", "String", "Numeric", "Boolean", "Currency", "BCD", "DateTime",
                                          "Bytes", "Counter", "BLOB", "Memo", "Graphic", "OLE", "TypedBinary", "Cursor"};
    const char *env = std::getenv("ZORVIK_KILL_POINTS");
    const int points = env ? std::max(1, std::atoi(env) / 2) : 30;
    const bool python = testutil::havePython("dbfread");
    std::mt19937 rng(7);
    for (int i = 0; i < points; ++i) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            buildForever(names, paths);
        usleep(useconds_t(2000 + rng() % 80000));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the build stopped by itself, status " << status;
        const std::string where = "kill point " + std::to_string(i);
        for (const char *t : {"Data/ZORMain.dbf", "Data/ZORDet.dbf"})
            ASSERT_EQ(badDeletionFlags(t), "") << where;
        {
            // The next start: both tables open without a message, rows are whole, and emptying works.
            Table MainData, TablesData;
            DataSource DataSource2;
            QuietHost host;
            catalogue::setUp(MainData, TablesData, DataSource2);
            ASSERT_TRUE(catalogue::open(MainData, TablesData, host)) << where;
            ASSERT_TRUE(host.messages.empty()) << where;
            DataSource2.setEnabled(false);
            for (TablesData.First(); !TablesData.Eof(); TablesData.Next())
                ASSERT_EQ(labels.count(TablesData.fieldAsString("ZOR_TYPE")), 1u) << where;
            DataSource2.setEnabled(true);
            for (const char *t : {"Data/ZORMain.dbf", "Data/ZORDet.dbf"})
                ASSERT_EQ(testutil::independentProblems(t, python), "") << where;
            catalogue::emptyFields(TablesData, DataSource2);
            catalogue::emptyMain(MainData);
            EXPECT_EQ(testutil::liveRecords(MainData), 0) << where;
            EXPECT_EQ(testutil::liveRecords(TablesData), 0) << where;
        }
        // Emptied on disk too, not only in the components' view.
        ASSERT_EQ(liveRecords("Data/ZORMain.dbf"), 0) << where;
        ASSERT_EQ(liveRecords("Data/ZORDet.dbf"), 0) << where;
    }
    std::printf("kill points during Do it: %d\n", points);
}

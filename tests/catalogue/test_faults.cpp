// A write or sync that fails (disk full, I/O error) at any point of a build: the build stops
// with the error, and the next start finds both catalogue tables openable, consistent with
// their indexes, and holding whole rows only.
#include "catalogue_fixture.h"
#include "tables/dbffile.h"
#include "tables/error.h"
#include "tables/file.h"

#include <cerrno>

namespace {

struct Fault { faults::Kind kind; int error; const char *said; };

class FaultTest : public CatalogueTest {
protected:
    std::vector<std::string> names, paths;
    void SetUp() override
    {
        CatalogueTest::SetUp();
        for (const char *f : {"paradox/alltypes.db", "dbase/db4_memo.dbf", "dbase/vfp_types.dbf", "dbase/cp866.dbf"}) {
            std::string full = testutil::fixture(f);
            size_t slash = full.find_last_of('/');
            paths.push_back(full.substr(0, slash + 1));
            names.push_back(full.substr(slash + 1));
        }
        // Enough tables that the field rows are written in more than one piece.
        for (int i = 0; i < 600; ++i) {
            names.push_back(names[size_t(i % 4)]);
            paths.push_back(paths[size_t(i % 4)]);
        }
    }
    void TearDown() override
    {
        faults::reset();
        CatalogueTest::TearDown();
    }
    // Rows are whole and the indexes agree, as the independent checker and our reader see them,
    // in the catalogue of the working folder.
    void checkNextStart(const std::string &where)
    {
        Table m, t;
        DataSource s;
        RecordingHost h;
        catalogue::setUp(m, t, s);
        ASSERT_TRUE(catalogue::open(m, t, h)) << where;
        for (m.First(); !m.Eof(); m.Next()) {
            ASSERT_FALSE(m.fieldAsString("ZORID").empty()) << where;
            for (t.First(); !t.Eof(); t.Next()) {
                ASSERT_EQ(t.fieldAsString("ZOR_ID"), m.fieldAsString("ZORID")) << where;
                ASSERT_FALSE(t.fieldAsString("ZOR_TYPE").empty()) << where;
            }
        }
        m.Close();
        t.Close();
        for (const char *f : {"Data/ZORMain.dbf", "Data/ZORDet.dbf"})
            ASSERT_EQ(testutil::independentProblems(f), "") << where;
    }
    void freshCatalogue()
    {
        MainData.Close();
        TablesData.Close();
        makeShippedCatalogue(".");
        openBoth();
        // Rows of an earlier build, as at a real start.
        catalogue::build(Current, MainData, TablesData, DataSource2, {names[0]}, {paths[0]});
    }
    // The catalogue files as the disk holds them now, copied to a folder of their own: what a
    // start would find if the program died at this instant.
    fs::path snapshot(const std::string &name)
    {
        const fs::path to = tmp_.path() / name;
        fs::remove_all(to);
        fs::create_directories(to / "Data");
        for (const char *f : {"ZORMain.dbf", "ZORMAIN.MDX", "ZORDet.dbf", "ZORDET.MDX"})
            fs::copy_file(fs::path("Data") / f, to / "Data" / f);
        return to;
    }
    Table Current;
};

} // namespace

TEST_F(FaultTest, EveryFailingWriteStopsTheBuildAndLeavesConsistentTables)
{
    const Fault kinds[] = {{faults::Write, ENOSPC, "нет места на диске"},
                           {faults::Write, EIO, "ошибка ввода-вывода"},
                           {faults::Sync, EIO, "ошибка ввода-вывода"}};
    for (const Fault &fault : kinds) {
        // Count the calls of one whole build, then fail each of them in turn.
        freshCatalogue();
        faults::reset();
        catalogue::build(Current, MainData, TablesData, DataSource2, names, paths);
        const long calls = faults::count(fault.kind);
        ASSERT_GT(calls, 3);
        int injected = 0;
        for (long k = 1; k <= calls; ++k) {
            const std::string where = std::string(fault.said) + ", call " + std::to_string(k) + " of " + std::to_string(calls);
            freshCatalogue();
            faults::failAt(fault.kind, k, fault.error);
            try {
                catalogue::build(Current, MainData, TablesData, DataSource2, names, paths);
                ADD_FAILURE() << where << ": the build did not report the failure";
            } catch (const Error &e) {
                EXPECT_NE(std::string(e.what()).find(fault.said), std::string::npos) << where << ": " << e.what();
                EXPECT_NE(std::string(e.what()).find(catalogue::dataFolder() + "ZOR"), std::string::npos) << where << ": " << e.what();
            }
            ++injected;
            faults::reset();
            {
                // The program dies right after the failure: the files as the failed write left them.
                testutil::WorkingFolder atFailure(snapshot("at-failure"));
                checkNextStart(where + ", files as the failure left them");
            }
            // The user ends the program: what is still buffered is written as the tables close.
            MainData.Close();
            TablesData.Close();
            checkNextStart(where);
        }
        RecordProperty(std::string("injected_") + std::to_string(int(fault.kind)) + "_" + std::to_string(fault.error), injected);
        std::printf("%s: %d faults injected\n", fault.said, injected);
    }
}

TEST_F(FaultTest, ADiskThatStaysFullLosesNoRowAlreadyWritten)
{
    freshCatalogue();
    faults::reset();
    catalogue::build(Current, MainData, TablesData, DataSource2, names, paths);
    const long calls = faults::count(faults::Write);
    for (long k = 1; k <= calls; k += 3) {
        freshCatalogue();
        faults::failAt(faults::Write, k, ENOSPC);
        EXPECT_THROW(catalogue::build(Current, MainData, TablesData, DataSource2, names, paths), Error);
        const int64_t mainOnDisk = liveRecords("Data/ZORMain.dbf"), fieldsOnDisk = liveRecords("Data/ZORDet.dbf");
        // The next write fails too (at closing): the tables stay as the disk has them.
        faults::failAt(faults::Write, 1, ENOSPC);
        for (Table *t : {&MainData, &TablesData}) {
            try {
                t->Close(); // closed even when its last rows cannot be written
            } catch (const Error &) {
            }
            EXPECT_FALSE(t->Active());
        }
        faults::reset();
        checkNextStart("full from write " + std::to_string(k));
        // Rows that reached the disk before the failure are all still there.
        EXPECT_GE(liveRecords("Data/ZORMain.dbf"), mainOnDisk) << "write " << k;
        EXPECT_GE(liveRecords("Data/ZORDet.dbf"), fieldsOnDisk) << "write " << k;
    }
}

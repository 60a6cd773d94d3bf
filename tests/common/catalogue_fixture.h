#pragma once
// A scratch working directory holding the four empty catalogue files as shipped, with the
// catalogue's components set up as the window sets them up.
#include "catalogue/catalogue.h"
#include "tables/dbffile.h"
#include "tables/table.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tables;
using testutil::TempDir;
namespace fs = std::filesystem;

struct RecordingHost : catalogue::Host {
    std::vector<std::string> messages;
    int terminations = 0;
    void showMessage(const std::string &t) override { messages.push_back(t); }
    void terminate() override { ++terminations; }
};

// Writes the four empty catalogue files, as shipped, into DIR/Data. They are made afresh (as
// mkcatalogue makes them), never copied from the source tree's Data/, which a run of the tool
// there may have filled.
inline void makeShippedCatalogue(const fs::path &dir)
{
    fs::create_directories(dir / "Data");
    catalogue::createFiles((dir / "Data").string());
}

// Live (not deleted) records of a table file, as the bytes on disk hold them, whatever the
// components still keep in their buffers.
inline int64_t liveRecords(const std::string &path)
{
    DbfFile f(path, false);
    int64_t n = 0;
    for (int64_t r = 0; r < f.recordCount(); ++r)
        n += f.isDeleted(r) ? 0 : 1;
    return n;
}

// A scratch working directory holding the shipped, empty catalogue files in Data/.
class CatalogueTest : public ::testing::Test {
public:
protected:
    void SetUp() override
    {
        old_ = fs::current_path();
        makeShippedCatalogue(tmp_.path());
        fs::current_path(tmp_.path());
        catalogue::setUp(MainData, TablesData, DataSource2);
    }
    void TearDown() override
    {
        MainData.Close();
        TablesData.Close();
        fs::current_path(old_);
    }
    void openBoth()
    {
        ASSERT_TRUE(catalogue::open(MainData, TablesData, host));
    }
    int rows(Table &t)
    {
        int n = 0;
        for (t.First(); !t.Eof(); t.Next())
            ++n;
        return n;
    }
    std::vector<std::string> fieldNames()
    {
        std::vector<std::string> out;
        for (TablesData.First(); !TablesData.Eof(); TablesData.Next())
            out.push_back(TablesData.fieldAsString("ZOR_NAME"));
        return out;
    }
    void writeTables(int count, int fields)
    {
        for (int t = 1; t <= count; ++t) {
            catalogue::writeMainRow(MainData, "T" + std::to_string(t) + ".DBF", "/data/", t);
            for (int f = 1; f <= fields; ++f) {
                std::string name = "F";
                name += std::to_string(t);
                name += '_';
                name += std::to_string(f);
                catalogue::writeFieldRow(TablesData, name, "String", f, t);
            }
        }
    }

    TempDir tmp_;
    fs::path old_;
    Table MainData, TablesData;
    DataSource DataSource2;
    RecordingHost host;
};


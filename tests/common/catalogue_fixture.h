#pragma once
// A scratch working directory holding a copy of the shipped Data/ folder, with the catalogue's
// components set up as the window sets them up.
#include "catalogue/catalogue.h"
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

// A scratch working directory holding a copy of the shipped Data/ folder.
class CatalogueTest : public ::testing::Test {
public:
protected:
    void SetUp() override
    {
        old_ = fs::current_path();
        fs::create_directories(tmp_.path() / "Data");
        for (const char *f : {"ZORMain.dbf", "ZORMAIN.MDX", "ZORDet.dbf", "ZORDET.MDX"})
            testutil::copy(std::string(ZORVIK_SOURCE_DIR) + "/Data/" + f, (tmp_.path() / "Data" / f).string());
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


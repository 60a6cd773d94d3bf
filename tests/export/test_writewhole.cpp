// A structure file is written whole or not at all: a failed write or sync leaves the older file as
// it was and no temporary file beside it.
#include "export/structure.h"
#include "tables/error.h"
#include "tables/file.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

namespace {

namespace fs = std::filesystem;
using testutil::TempDir;

std::string readText(const fs::path &path)
{
    const auto bytes = testutil::readAll(path.string());
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> names(const fs::path &folder)
{
    std::vector<std::string> out;
    for (const auto &e : fs::directory_iterator(folder))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(WriteWhole, WritesAndReplaces)
{
    TempDir dir;
    const fs::path target = dir.path() / "tables.json";
    exporter::writeWhole(target.string(), "first");
    EXPECT_EQ(readText(target), "first");
    exporter::writeWhole(target.string(), "second, longer");
    EXPECT_EQ(readText(target), "second, longer");
    exporter::writeWhole(target.string(), "");
    EXPECT_EQ(readText(target), "");
    exporter::writeWhole(target.string(), std::vector<std::string_view>{"in ", "", "three ", "pieces"});
    EXPECT_EQ(readText(target), "in three pieces");
    EXPECT_EQ(names(dir.path()), std::vector<std::string>{"tables.json"});
}

TEST(WriteWhole, FailureLeavesTheOlderFile)
{
    struct Case {
        const char *what;
        tables::faults::Kind kind;
        int nth;
        int error;
    };
    for (const Case &c : {Case{"write", tables::faults::Write, 1, ENOSPC}, Case{"second piece", tables::faults::Write, 2, ENOSPC},
                          Case{"sync", tables::faults::Sync, 1, EIO}}) {
        TempDir dir;
        const fs::path target = dir.path() / "tables.md";
        exporter::writeWhole(target.string(), "older");
        tables::faults::failAt(c.kind, c.nth, c.error);
        try {
            exporter::writeWhole(target.string(), std::vector<std::string_view>{"new", "er"});
            ADD_FAILURE() << c.what << ": no error";
        } catch (const tables::Error &e) {
            const std::string text = e.what();
            EXPECT_NE(text.find("«" + target.string() + "»: не удаётся записать: "), std::string::npos) << text;
        }
        tables::faults::reset();
        EXPECT_EQ(readText(target), "older") << c.what;
        EXPECT_EQ(names(dir.path()), std::vector<std::string>{"tables.md"}) << c.what;
    }
}

TEST(WriteWhole, NoFolderOrAFolderInTheWay)
{
    TempDir dir;
    EXPECT_THROW(exporter::writeWhole((dir.path() / "no" / "x.html").string(), "x"), tables::Error);
    fs::create_directory(dir.path() / "taken.csv");
    EXPECT_THROW(exporter::writeWhole((dir.path() / "taken.csv").string(), "x"), tables::Error);
    EXPECT_EQ(names(dir.path()), std::vector<std::string>{"taken.csv"});
}

} // namespace

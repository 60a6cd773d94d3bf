// The text of an export made on a second thread while the tables are read gives the same text
// as the text made afterwards, in the order the tables came; what fails there reaches the
// caller; tables waiting with their files open do not pile up behind a slow thread; a build that
// fails midway does not wait for the rest.
#include "export/structure.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

using tables::TableInfo;

// Descriptions of real tables of both families, one that cannot be read, and one with findings.
std::vector<TableInfo> someTables(size_t count)
{
    const char *files[] = {"dbase/cp866.dbf", "dbase/db4_memo.dbf", "paradox/cyr1251.db", "dbase/fields.txt",
                           "dbase/bad_count.dbf", "dbase/vfp_types.dbf"};
    std::vector<TableInfo> out;
    for (size_t i = 0; i < count; ++i) {
        out.push_back(tables::describeTable(testutil::fixture(files[i % std::size(files)])));
        out.back().number = out.back().error.empty() ? int(i + 1) : 0;
    }
    return out;
}

TEST(BackgroundText, SameTextAsAfterwardsInTheOrderGiven)
{
    const exporter::Format formats[] = {exporter::Format::Html, exporter::Format::Markdown, exporter::Format::Json,
                                        exporter::Format::Csv};
    // None, fewer than the thread takes at once, and several times that many.
    for (size_t count : {size_t(0), size_t(5), size_t(150)}) {
        const std::vector<TableInfo> tables = someTables(count);
        for (exporter::Format format : formats) {
            exporter::BackgroundText text(format);
            for (const TableInfo &t : tables)
                text.add([&t] { return t; });
            const std::vector<TableInfo> back = text.finish();
            ASSERT_EQ(back.size(), tables.size());
            for (size_t i = 0; i < back.size(); ++i)
                EXPECT_EQ(back[i].number, tables[i].number) << i;
            EXPECT_EQ(text.text().whole(), exporter::render(format, tables)) << count << " tables, format " << int(format);
        }
    }
}

TEST(BackgroundText, AFailureThereReachesTheCaller)
{
    exporter::BackgroundText text(exporter::Format::Json);
    for (int i = 0; i < 40; ++i)
        text.add([i]() -> TableInfo {
            if (i == 20)
                throw std::bad_alloc();
            return TableInfo{};
        });
    EXPECT_THROW(text.finish(), std::bad_alloc);
}

TEST(BackgroundText, FewTablesWaitBehindASlowThread)
{
    // Each waiting table holds its files open: the build must wait rather than open hundreds.
    std::atomic<int> alive = 0, most = 0;
    exporter::BackgroundText text(exporter::Format::Csv);
    for (int i = 0; i < 300; ++i) {
        const int now = ++alive;
        for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        // Copies of a table's hand-over share one token; the last one gone lets the table go.
        std::shared_ptr<void> files(nullptr, [&alive](void *) { --alive; });
        text.add([files] {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            return TableInfo{};
        });
    }
    EXPECT_EQ(text.finish().size(), 300u);
    EXPECT_EQ(alive, 0);
    EXPECT_LT(most, 100);
}

TEST(BackgroundText, ABuildThatFailsDoesNotWaitForTheRest)
{
    std::atomic<int> described = 0;
    {
        exporter::BackgroundText text(exporter::Format::Html);
        for (int i = 0; i < 30; ++i)
            text.add([&described] {
                ++described;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return TableInfo{};
            });
        // Destroyed unfinished, as when the build throws.
    }
    EXPECT_LT(described, 30);
}

} // namespace

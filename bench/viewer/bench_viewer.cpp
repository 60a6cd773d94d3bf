// The table viewer's model on a large table: a generated dBASE table of 1,000,000 records
// (10 columns of mixed types, about 1% deleted, fixed seed), timed for opening and the row
// count, the first screen, a jump to the last row and 1,000 random rows, against a plain
// sequential read of the same file as the limit. Prints the peak resident memory.
//   bench_viewer [RECORDS] [SEED]
#include "bigtable.h"
#include "selection/tablemodel.h"
#include "tables/table.h"

#include <QCoreApplication>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

long peakRssKb()
{
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// Reads every cell of `rows` rows starting at `first`; returns the characters seen (so the
// work cannot be optimised away).
size_t readRows(const selection::TableModel &model, int first, int rows)
{
    size_t chars = 0;
    for (int r = first; r < first + rows && r < model.rowCount(); ++r)
        for (int c = 0; c < model.columnCount(); ++c)
            chars += size_t(model.data(model.index(r, c)).toString().size());
    return chars;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int64_t records = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const unsigned seed = argc > 2 ? unsigned(std::atoi(argv[2])) : 20240315u;
    const fs::path scratch = fs::temp_directory_path() / ("zorvik-bench-viewer-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    const std::string folder = scratch.string() + "/";

    auto t = Clock::now();
    const int64_t deleted = bigtable::generate(folder, "BIG.DBF", records, seed);
    const double generated = ms(t);
    const auto fileSize = fs::file_size(scratch / "BIG.DBF");
    std::printf("table: %lld records (%lld deleted), %.1f MiB, generated in %.0f ms\n", (long long)records,
                (long long)deleted, double(fileSize) / 1048576.0, generated);
    const long rssBefore = peakRssKb();

    // The limit: the same file read once from start to end, 1 MiB at a time.
    t = Clock::now();
    {
        std::vector<char> chunk(1 << 20);
        FILE *f = std::fopen((scratch / "BIG.DBF").c_str(), "rb");
        size_t total = 0, n;
        while ((n = std::fread(chunk.data(), 1, chunk.size(), f)) > 0)
            total += n;
        std::fclose(f);
        if (total != fileSize)
            std::printf("short read\n");
    }
    const double plainRead = ms(t);

    tables::Table Current;
    Current.DatabaseName = folder;
    Current.TableName = "BIG.DBF";
    selection::TableModel model(&Current);

    t = Clock::now();
    Current.Open();
    model.reset();
    const int rows = model.rowCount();
    const double open = ms(t);

    t = Clock::now();
    size_t chars = readRows(model, 0, 30);
    const double firstScreen = ms(t);

    t = Clock::now();
    chars += readRows(model, rows - 30, 30);
    const double lastScreen = ms(t);

    std::mt19937 rng(seed);
    t = Clock::now();
    for (int i = 0; i < 1000; ++i)
        chars += readRows(model, int(rng() % unsigned(rows)), 1);
    const double random = ms(t);

    std::printf("rows shown: %d (expected %lld), columns %d, cached rows %lld in %d blocks\n", rows,
                (long long)(records - deleted), model.columnCount(), (long long)model.cache().rowsHeld(),
                model.cache().blockCount());
    std::printf("plain sequential read (1 MiB chunks):  %8.1f ms\n", plainRead);
    std::printf("open + deleted map + rowCount:         %8.1f ms\n", open);
    std::printf("first screen (30 rows x %d columns):   %8.2f ms\n", model.columnCount(), firstScreen);
    std::printf("jump to the last row (last 30 rows):   %8.2f ms\n", lastScreen);
    std::printf("1,000 random rows (all columns):       %8.1f ms\n", random);
    std::printf("peak RSS (VmHWM): %ld KiB (before the model: %ld KiB)   [%zu chars read]\n", peakRssKb(), rssBefore, chars);

    Current.Close();
    model.reset();
    fs::remove_all(scratch);
    return rows == int(records - deleted) ? 0 : 1;
}

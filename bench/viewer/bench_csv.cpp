// Records out on a large table: the generated 1,000,000-record dBASE table of the viewer
// benchmark written to CSV as `zorvik --csv` writes it (every live record, neutral form),
// against a plain sequential read of the same table: every live record read in file order and
// each cell decoded, as any reader of the table must. Limit: three times that read. The bytes
// read alone are printed beside it: they take a few milliseconds warm, less than writing the
// CSV's own bytes, so no writer could stay within three times them.
//   bench_csv [RECORDS] [SEED]
#include "bigtable.h"
#include "selection/csvexport.h"
#include "tables/recordsource.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

double plainRead(const fs::path &file)
{
    const auto t = Clock::now();
    std::vector<char> chunk(1 << 20);
    FILE *f = std::fopen(file.c_str(), "rb");
    size_t total = 0, n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), f)) > 0)
        total += n;
    std::fclose(f);
    if (total != fs::file_size(file))
        std::printf("short read\n");
    return ms(t);
}

} // namespace

int main(int argc, char **argv)
{
    const int64_t records = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const unsigned seed = argc > 2 ? unsigned(std::atoi(argv[2])) : 20240315u;
    const fs::path scratch = fs::temp_directory_path() / ("zorvik-bench-csv-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    const std::string folder = scratch.string() + "/";
    const int64_t deleted = bigtable::generate(folder, "BIG.DBF", records, seed);
    const fs::path table = scratch / "BIG.DBF", csv = scratch / "BIG.csv";
    std::printf("table: %lld records (%lld deleted), %.1f MiB\n", (long long)records, (long long)deleted,
                double(fs::file_size(table)) / 1048576.0);

    // Warm: each is run three times, the best counts.
    double read = 1e300, written = 1e300, decoded = 1e300;
    selection::CsvResult result;
    for (int round = 0; round < 3; ++round) {
        read = std::min(read, plainRead(table));
        auto t = Clock::now();
        {
            const auto source = tables::openRecordSource(table.string(), tables::ttDefault);
            size_t bytes = 0;
            const int fields = int(source->fields().size());
            for (int64_t r = 0; r < source->recordCount(); ++r)
                if (!source->isDeleted(r))
                    for (int f = 0; f < fields; ++f)
                        bytes += source->wholeValue(r, f).text.size();
            decoded = std::min(decoded, ms(t));
            if (bytes == 0)
                std::printf("nothing decoded\n");
        }
        t = Clock::now();
        const auto source = tables::openRecordSource(table.string(), tables::ttDefault);
        result = selection::saveCsv(*source, QString::fromStdString(csv.string()));
        written = std::min(written, ms(t));
    }
    // The floor under any writer: the CSV's own bytes, already made, written and committed the
    // same way (beside, synced, renamed).
    double bytesOut = 1e300;
    {
        QFile in(QString::fromStdString(csv.string()));
        in.open(QIODevice::ReadOnly);
        const QByteArray bytes = in.readAll();
        for (int round = 0; round < 3; ++round) {
            const auto t = Clock::now();
            QSaveFile out(QString::fromStdString((scratch / "copy.csv").string()));
            out.open(QIODevice::WriteOnly);
            out.write(bytes);
            out.commit();
            bytesOut = std::min(bytesOut, ms(t));
        }
    }
    const double limit = 3 * decoded;
    std::printf("records written: %lld (expected %lld), CSV %.1f MiB\n", (long long)result.records,
                (long long)(records - deleted), double(fs::file_size(csv)) / 1048576.0);
    std::printf("the file's bytes alone (1 MiB chunks): %8.1f ms\n", read);
    std::printf("the CSV's bytes alone written:         %8.1f ms   (made beforehand; beside, synced, renamed)\n", bytesOut);
    std::printf("plain sequential read of the table:    %8.1f ms   (open, every live record, every cell decoded)\n", decoded);
    std::printf("open + CSV of every live record:       %8.1f ms   limit %.1f ms (3 x plain sequential read): %s\n", written, limit,
                written <= limit ? "within" : "OVER");
    std::printf("CSV per record:                        %8.3f us\n", written * 1000.0 / double(records));
    fs::remove_all(scratch);
    return result.records == records - deleted ? 0 : 1;
}

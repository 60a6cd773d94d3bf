// The catalogue build over many tables: a seeded corpus of dBASE tables of 5 to 40 fields is made
// at run time; then the reading alone (open, field list, close), the catalogue writing alone,
// and the whole build are timed, with a plain open-read-close loop over the same files (header
// and field descriptors with read(2)) as the limit. "Whole build" is catalogue::build as Do it
// runs it, without the report: emptying both catalogue tables (they hold the previous step's
// rows), then for each table opening it in Current and writing its main row and one row per
// field with both indexes kept up, and the final sync of both tables to the disk.
//   bench_build [TABLES]          default 10000
#include "benchutil.h"
#include "corpus.h"
#include "catalogue/catalogue.h"
#include "tables/table.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The limit: what any reader must do at the least for one table.
long plainLoop(const std::vector<std::string> &paths)
{
    long fields = 0;
    std::vector<char> buf(65536);
    for (const std::string &p : paths) {
        int fd = ::open(p.c_str(), O_RDONLY);
        if (fd < 0)
            continue;
        ssize_t n = ::read(fd, buf.data(), 32);
        if (n == 32) {
            int hlen = (unsigned char)buf[8] | ((unsigned char)buf[9] << 8);
            n = ::pread(fd, buf.data(), size_t(hlen), 0);
            for (ssize_t pos = 32; pos + 32 <= n && buf[size_t(pos)] != 0x0D; pos += 32)
                ++fields;
        }
        ::close(fd);
    }
    return fields;
}
} // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    fs::path scratch = fs::temp_directory_path() / ("zorvik-build-bench-" + std::to_string(::getpid()));
    fs::create_directories(scratch / "Data");
    fs::create_directories(scratch / "tables");
    catalogue::createFiles((scratch / "Data").string());
    const Corpus corpus = makeCorpus((scratch / "tables").string() + "/", count);
    const std::vector<std::string> &names = corpus.names, &folders = corpus.folders, &paths = corpus.paths;
    fs::current_path(scratch);

    for (int round = 1; round <= 3; ++round) {
        auto t0 = Clock::now();
        long plain = plainLoop(paths);
        double plainTime = since(t0);

        tables::Table Current;
        long read = 0;
        auto t1 = Clock::now();
        for (int i = 0; i < count; ++i) {
            Current.Close();
            Current.DatabaseName = folders[size_t(i)];
            Current.TableName = names[size_t(i)];
            Current.Open();
            read += long(Current.fields().size());
        }
        Current.Close();
        double readTime = since(t1);

        tables::Table MainData, TablesData;
        tables::DataSource DataSource2;
        Host host;
        catalogue::setUp(MainData, TablesData, DataSource2);
        catalogue::open(MainData, TablesData, host);
        auto t2 = Clock::now();
        for (int i = 0; i < count; ++i) {
            catalogue::writeMainRow(MainData, names[size_t(i)], folders[size_t(i)], i + 1);
            for (int f = 0; f < 20; ++f)
                catalogue::writeFieldRow(TablesData, "FLD" + std::to_string(f), "String", 10, i + 1);
        }
        MainData.flush();
        TablesData.flush();
        double writeTime = since(t2);

        auto t3 = Clock::now();
        catalogue::build(Current, MainData, TablesData, DataSource2, names, folders);
        double buildTime = since(t3);
        std::printf("round %d: plain loop %.3f s (%.1f us/table, %ld fields) | reading %.3f s (%.1f us/table, %ld fields, "
                    "%.2fx the loop) | writing %d+%d rows %.3f s | whole build (empty, read, write, sync) %.3f s\n",
                    round, plainTime, plainTime * 1e6 / count, plain, readTime, readTime * 1e6 / count, read,
                    readTime / plainTime, count, count * 20, writeTime, buildTime);
    }
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(scratch);
    return 0;
}

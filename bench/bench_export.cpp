// zorvik --export over many tables: the corpus of bench_build (10,000 tables, about 225,000
// fields, one folder) is built plainly, as Do it builds it, and then exported as JSON and as
// HTML (the documenting build, the text made on a second thread meanwhile, the file written
// whole); each export should take at most twice the plain build.
//   bench_export [TABLES]          default 10000
#include "benchutil.h"
#include "corpus.h"
#include "catalogue/documentation.h"
#include "export/structure.h"
#include "tables/table.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    fs::path scratch = fs::temp_directory_path() / ("zorvik-export-bench-" + std::to_string(::getpid()));
    fs::create_directories(scratch / "Data");
    fs::create_directories(scratch / "tables");
    catalogue::createFiles((scratch / "Data").string());
    const Corpus corpus = makeCorpus((scratch / "tables").string() + "/", count);
    const std::vector<std::string> &names = corpus.names, &folders = corpus.folders;
    fs::current_path(scratch);

    tables::Table Current, MainData, TablesData;
    tables::DataSource DataSource2;
    Host host;
    catalogue::setUp(MainData, TablesData, DataSource2);
    catalogue::open(MainData, TablesData, host);
    double bestBuild = 1e9, bestJson = 1e9, bestHtml = 1e9;
    const int rounds = 5;
    for (int round = 1; round <= rounds; ++round) {
        auto t0 = Clock::now();
        catalogue::build(Current, MainData, TablesData, DataSource2, names, folders);
        const double build = since(t0);
        auto t9 = Clock::now();
        for (int i = 0; i < count; ++i)
            tables::describeTable(folders[size_t(i)] + names[size_t(i)]);
        const double describing = since(t9);
        double times[2], documenting[2], waiting[2], cpu[2];
        size_t sizes[2];
        const exporter::Format formats[2] = {exporter::Format::Json, exporter::Format::Html};
        const char *files[2] = {"out.json", "out.html"};
        for (int k = 0; k < 2; ++k) {
            // As zorvik --export runs it: the text made on a second thread while the build goes on.
            auto t1 = Clock::now();
            const std::clock_t c1 = std::clock();
            exporter::BackgroundText text(formats[k]);
            catalogue::buildDocumented(Current, MainData, TablesData, DataSource2, names, folders,
                                       [&text](catalogue::Describing &&describe) { text.add(std::move(describe)); });
            documenting[k] = since(t1);
            auto t2 = Clock::now();
            const auto described = text.finish();
            waiting[k] = since(t2);
            const std::vector<std::string_view> pieces = text.text().pieces();
            exporter::writeWhole(files[k], pieces);
            times[k] = since(t1);
            cpu[k] = double(std::clock() - c1) / CLOCKS_PER_SEC;
            sizes[k] = 0;
            for (std::string_view p : pieces)
                sizes[k] += p.size();
        }
        std::printf("round %d: plain build %.3f s | --export out.json %.3f s (%.2fx, limit 2.00x, %.1f MB) | "
                    "--export out.html %.3f s (%.2fx, limit 2.00x, %.1f MB)\n",
                    round, build, times[0], times[0] / build, sizes[0] / 1e6, times[1], times[1] / build, sizes[1] / 1e6);
        bestBuild = std::min(bestBuild, build);
        bestJson = std::min(bestJson, times[0]);
        bestHtml = std::min(bestHtml, times[1]);
        std::printf("         describing alone (open, describe, close) %.3f s\n", describing);
        std::printf("         of which the documenting build %.3f / %.3f s, then waiting for the rest of the text "
                    "%.3f / %.3f s, the file %.3f / %.3f s; processor time of both threads %.3f / %.3f s\n",
                    documenting[0], documenting[1], waiting[0], waiting[1], times[0] - documenting[0] - waiting[0],
                    times[1] - documenting[1] - waiting[1], cpu[0], cpu[1]);
    }
    std::printf("best of %d rounds (the machine is shared): plain build %.3f s | --export out.json %.3f s = %.2fx "
                "(limit 2.00x) | --export out.html %.3f s = %.2fx (limit 2.00x)\n",
                rounds, bestBuild, bestJson, bestJson / bestBuild, bestHtml, bestHtml / bestBuild);
    Current.Close();
    MainData.Close();
    TablesData.Close();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(scratch);
    return 0;
}

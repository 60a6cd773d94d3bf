// Folders in: a generated tree of 10,000 small dBASE tables in 200 folders (10 x 20)
// two levels deep, with 2,000 memo files, 1,000 index files and 500 text files among them,
// searched as a dropped folder is (every file recognised by its header, natural order), then
// listed as the window lists it (pick list and a shown list box, laid out and painted). Warm: the search runs once before
// it is timed, then three times, the best counts. Limit: one second.
//   bench_intake [TABLES]
#include "selection/intake.h"
#include "selection/picklist.h"

#include <QApplication>
#include <QListWidget>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// A dBASE III table of two fields and three records.
std::string smallTable()
{
    std::string t(32, '\0');
    t[0] = 0x03; t[1] = 124; t[2] = 3; t[3] = 15;
    t[4] = 3;
    const int header = 32 + 2 * 32 + 1, record = 1 + 10 + 5;
    t[8] = char(header); t[10] = char(record);
    auto field = [&](const char *name, char type, int width) {
        std::string d(32, '\0');
        d.replace(0, std::strlen(name), name);
        d[11] = type;
        d[16] = char(width);
        t += d;
    };
    field("NAME", 'C', 10);
    field("N", 'N', 5);
    t += '\x0D';
    for (int r = 0; r < 3; ++r)
        t += " row" + std::to_string(r) + std::string(6, ' ') + "    " + std::to_string(r);
    t += '\x1A';
    return t;
}

void write(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int tables = argc > 1 ? std::atoi(argv[1]) : 10000;
    const fs::path root = fs::temp_directory_path() / ("zorvik-bench-intake-" + std::to_string(::getpid()));
    const std::string table = smallTable();
    auto t = Clock::now();
    for (int i = 0; i < tables; ++i) {
        const fs::path folder = root / ("dept" + std::to_string(i / 1000)) / ("year" + std::to_string(i / 50 % 20));
        if (i % 50 == 0)
            fs::create_directories(folder);
        const std::string stem = "TABLE" + std::to_string(i);
        write(folder / (stem + ".DBF"), table);
        if (i % 5 == 0)
            write(folder / (stem + ".DBT"), std::string(512, '\0'));
        if (i % 10 == 0)
            write(folder / (stem + ".MDX"), std::string(1024, '\0'));
        if (i % 20 == 0)
            write(folder / ("readme" + std::to_string(i) + ".txt"), "notes\n");
    }
    std::printf("tree: %d tables, 10 x 20 folders, generated in %.0f ms\n", tables, ms(t));

    selection::expandPaths({root.string()});   // warm
    double search = 1e300, listing = 1e300;
    selection::Intake intake;
    for (int round = 0; round < 3; ++round) {
        t = Clock::now();
        intake = selection::expandPaths({root.string()}, [](const selection::IntakeProgress &) { return true; });
        search = std::min(search, ms(t));

        QListWidget ListBox1;
        ListBox1.setUniformItemSizes(true);
        ListBox1.resize(169, 129);
        ListBox1.show();
        std::vector<std::string> NameList, PathList;
        t = Clock::now();
        for (const std::string &path : intake.paths)
            selection::appendPath(path, NameList, PathList,
                                  [&](const std::string &name) { ListBox1.addItem(QString::fromStdString(name)); });
        QApplication::processEvents();   // the list box lays out and paints its rows
        listing = std::min(listing, ms(t));
    }
    const double total = search + listing;
    std::printf("found: %zu tables in %d folders, %d other files passed over, %zu notes\n", intake.paths.size(),
                intake.folders, intake.passedOver, intake.notes.size());
    std::printf("search (recognise every file, natural order): %8.1f ms\n", search);
    std::printf("listing (pick list + list box):                %8.1f ms\n", listing);
    std::printf("found and listed:                              %8.1f ms   limit 1000 ms: %s\n", total,
                total <= 1000 ? "within" : "OVER");
    fs::remove_all(root);
    return int(intake.paths.size()) == tables ? 0 : 1;
}

// Writing the catalogue: 10,000 main rows and 250,000 field rows with both indexes kept right,
// then emptying both tables. Run from any folder: it works in a scratch copy of the catalogue.
//   bench_catalogue_write [FIELD_ROWS] [DATA_FOLDER_WITH_EMPTY_CATALOGUE]
#include "benchutil.h"
#include "catalogue/catalogue.h"
#include "tables/table.h"
#include "tables/codepage.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;


int main(int argc, char **argv)
{
    const int fieldRows = argc > 1 ? std::atoi(argv[1]) : 250000;
    fs::path scratch = fs::temp_directory_path() / ("zorvik-bench-" + std::to_string(::getpid()));
    fs::create_directories(scratch / "Data");
    if (argc > 2) {
        for (const char *f : {"ZORMain.dbf", "ZORMAIN.MDX", "ZORDet.dbf", "ZORDET.MDX"})
            fs::copy_file(fs::path(argv[2]) / f, scratch / "Data" / f);
    } else {
        const uint8_t ldid = tables::codepage::languageDriverFor(1251);
        tables::createDbaseTable((scratch / "Data").string() + "/", "ZORMain.dbf", catalogue::mainColumns(), {{"ZORID", "ZORID"}}, ldid);
        tables::createDbaseTable((scratch / "Data").string() + "/", "ZORDet.dbf", catalogue::detailColumns(), {{"ZOR_ID", "ZOR_ID"}}, ldid);
    }
    fs::current_path(scratch);

    tables::Table MainData, TablesData;
    tables::DataSource DataSource2;
    Host host;
    catalogue::setUp(MainData, TablesData, DataSource2);
    catalogue::open(MainData, TablesData, host);

    for (int round = 1; round <= 3; ++round) {
        auto t0 = Clock::now();
        int written = 0, table = 0;
        while (written < fieldRows) {
            ++table;
            catalogue::writeMainRow(MainData, "TABLE" + std::to_string(table) + ".DBF", "/home/user/data/", table);
            for (int f = 0; f < 25 && written < fieldRows; ++f, ++written)
                catalogue::writeFieldRow(TablesData, "FIELD_" + std::to_string(f), "Numeric", 0, table);
        }
        MainData.flush();
        TablesData.flush();
        double write = since(t0);
        auto t1 = Clock::now();
        catalogue::emptyMain(MainData);
        catalogue::emptyFields(TablesData, DataSource2);
        double empty = since(t1);
        std::printf("round %d: %d main rows + %d field rows written and indexed in %.3f s (%.2f us a row); "
                    "emptied in %.3f s\n",
                    round, table, written, write, write * 1e6 / (written + table), empty);
    }
    MainData.Close();
    TablesData.Close();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(scratch);
    return 0;
}

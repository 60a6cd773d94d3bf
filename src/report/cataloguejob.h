#pragma once
// Do it without its window: the catalogue of the picked tables and the laid-out catalogue
// report. The main window's Do it previews the pages; the headless exports write them. Any
// step added to Do it belongs here, so that every way of running it takes the same steps.
#include "catalogue/catalogue.h"
#include "catalogue/documentation.h"
#include "tables/tableinfo.h"
#include "report/layout.h"
#include "report/report.h"
#include "report/tabledataset.h"
#include "tables/table.h"

#include <QDateTime>
#include <QLocale>

#include <string>
#include <vector>

namespace report {

// The components Do it works on: Current for the picked table being read, the catalogue tables
// MainData and TablesData with their link DataSource2, and the report QuickRep1 over them. The
// main window holds one set for its life; a headless export makes its own.
class CatalogueJob {
public:
    CatalogueJob();
    CatalogueJob(const CatalogueJob &) = delete;
    CatalogueJob &operator=(const CatalogueJob &) = delete;

    // Start-up: opens both catalogue tables. A table that cannot be opened gets its message and
    // the terminate request through `host`. Returns false when either failed.
    bool open(catalogue::Host &host);
    // Start-up: empties the field catalogue, then the main catalogue; a table that did not open
    // is left alone (the application is ending anyway).
    void empty();

    // Do it up to its report: empties the catalogue, reads each picked table (NameList and
    // PathList, as the pick list holds them) through Current into it, then lays QuickRep1 out
    // over it with `printed` as the date and time of printing, written as `locale` writes them.
    // `progress` is called before each table; `codePageOf(i)` gives the code page the user chose
    // for the i-th table (none: as the table says). A table that cannot be read stops the build
    // with its exception; what was written before stays.
    Layout build(const std::vector<std::string> &NameList, const std::vector<std::string> &PathList,
                 const catalogue::Progress &progress, const QDateTime &printed, const QLocale &locale,
                 const catalogue::CodePageOf &codePageOf = {});

    // The same build for the structure export: the same catalogue rows, but a table that cannot
    // be read is documented with its error and the build goes on. Each table is handed to `later`
    // with what describes it as soon as its catalogue rows are written (the descriptions can be
    // made on another thread meanwhile). No report is laid out.
    void document(const std::vector<std::string> &NameList, const std::vector<std::string> &PathList,
                  const catalogue::DescribeLater &later, const catalogue::Progress &progress = {},
                  const catalogue::CodePageOf &codePageOf = {});

    tables::Table Current;
    tables::Table MainData;      // Data/ZORMain.dbf
    tables::Table TablesData;    // Data/ZORDet.dbf, following MainData through DataSource2
    tables::DataSource DataSource2;
    TableDataSet MainDataSet{MainData};
    TableDataSet TablesDataSet{TablesData};
    Report QuickRep1;
};

} // namespace report

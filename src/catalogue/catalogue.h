#pragma once
// The catalogue: two dBASE tables in the folder "Data" below the working directory.
// ZORMain.dbf holds one row per described table, ZORDet.dbf one row per field; the field rows
// follow the main table's current row through the link DataSource2.
#include "tables/table.h"

#include <functional>
#include <string>
#include <vector>

namespace catalogue {

// What the catalogue needs of the application at start-up: a plain message box and the
// request to end the application.
class Host {
public:
    virtual ~Host() = default;
    virtual void showMessage(const std::string &text) = 0;
    virtual void terminate() = 0;
};

// "Data" and the platform's separator: the folder text the tables are opened with.
std::string dataFolder();

// The stored column definitions of the two tables (name, dBASE type letter, width, decimals).
tables::FieldDefs mainColumns();
tables::FieldDefs detailColumns();

// Writes the four empty catalogue files (ZORMain.dbf + ZORMAIN.MDX, ZORDet.dbf + ZORDET.MDX) into
// `folder`, text marked as Windows Cyrillic. Used by mkcatalogue; the tool itself never creates
// them. Throws tables::Error.
void createFiles(const std::string &folder);

// Puts the stored column and index definitions on the two components and links
// TablesData to MainData through DataSource2 (tag ZOR_ID against MainData's ZORID).
void setUp(tables::Table &MainData, tables::Table &TablesData, tables::DataSource &DataSource2);

// Opens both tables; a table that cannot be opened gets its message and the terminate request.
// Returns false when either failed.
bool open(tables::Table &MainData, tables::Table &TablesData, Host &host);

void emptyMain(tables::Table &MainData);
void emptyFields(tables::Table &TablesData, tables::DataSource &DataSource2);

void writeMainRow(tables::Table &MainData, const std::string &name, const std::string &path, int number);
void writeFieldRow(tables::Table &TablesData, const std::string &name, const std::string &type, int size,
                   int number);

// Closes `Current` and opens the table `name` in `folder` in it, read in `codePage` (0: as the
// table says).
void openTable(tables::Table &Current, const std::string &folder, const std::string &name, int codePage);

// Runs `writeRows` (a build's row writing) and then puts the rows on the disk with one sync per
// table. When `writeRows` throws, the rows written before stay in the catalogue: they are
// flushed (not synced) and the exception goes on.
void writeAndSync(tables::Table &MainData, tables::Table &TablesData, const std::function<void()> &writeRows);

// Label written to ZOR_TYPE for a field type code.
std::string typeLabel(int code);

// The build over a pick list: empties the catalogue, then opens each picked table in Current
// and writes its main row and field rows. `progress(i, n, name)` is called before each table;
// `codePageOf(i)` gives the code page the user chose for the i-th table (0: as the table says).
using Progress = std::function<void(int index, int count, const std::string &name)>;
using CodePageOf = std::function<int(size_t index)>;
void build(tables::Table &Current, tables::Table &MainData, tables::Table &TablesData,
           tables::DataSource &DataSource2, const std::vector<std::string> &NameList,
           const std::vector<std::string> &PathList, const Progress &progress = {},
           const CodePageOf &codePageOf = {});

} // namespace catalogue

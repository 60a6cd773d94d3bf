#include "catalogue.h"

#include "tables/codepage.h"
#include "tables/error.h"

namespace catalogue {

namespace {

tables::FieldDef column(const char *name, char type, int width, int decimals = 0)
{
    tables::FieldDef f;
    f.name = name;
    f.nativeType = type;
    f.width = width;
    f.decimals = decimals;
    return f;
}

} // namespace

std::string dataFolder()
{
#ifdef _WIN32
    return "Data\\";
#else
    return "Data/";
#endif
}

tables::FieldDefs mainColumns()
{
    return {column("ZORTBLNAME", 'C', 50), column("ZORTBLPATH", 'C', 200), column("ZORID", 'F', 19)};
}

tables::FieldDefs detailColumns()
{
    return {column("ZOR_NAME", 'C', 20), column("ZOR_TYPE", 'C', 20), column("ZOR_SIZE", 'F', 19),
            column("ZOR_DEC", 'F', 19), column("ZOR_ID", 'F', 19)};
}

void createFiles(const std::string &folder)
{
    std::string dir = folder;
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\')
        dir += '/';
    // Text is stored in Windows Cyrillic, marked by its language driver id.
    const uint8_t ldid = tables::codepage::languageDriverFor(1251);
    tables::createDbaseTable(dir, "ZORMain.dbf", mainColumns(), {{"ZORID", "ZORID"}}, ldid);
    tables::createDbaseTable(dir, "ZORDet.dbf", detailColumns(), {{"ZOR_ID", "ZOR_ID"}}, ldid);
}

void setUp(tables::Table &MainData, tables::Table &TablesData, tables::DataSource &DataSource2)
{
    MainData.ReadOnly = false;
    MainData.FieldDefs = mainColumns();
    MainData.IndexDefs = {{"ZORID", "ZORID"}};
    MainData.IndexName = "ZORID";

    TablesData.ReadOnly = false;
    TablesData.FieldDefs = detailColumns();
    TablesData.IndexDefs = {{"ZOR_ID", "ZOR_ID"}};
    TablesData.IndexName = "ZOR_ID";

    DataSource2.setDataSet(&MainData);
    TablesData.MasterFields = "ZORID";
    TablesData.setMasterSource(&DataSource2);
}

namespace {

// Opens one catalogue table from the data folder; a failure, whatever it is, gets its message
// and the terminate request.
bool openTable(tables::Table &table, const std::string &name, Host &host)
{
    table.Close();
    table.DatabaseName = dataFolder();
    table.TableName = name;
    table.TableType = tables::ttDBase;
    try {
        table.Open();
        return true;
    } catch (const std::exception &) {
        host.showMessage("Не могу открыть файл " + name + " из поддиректории Data\\");
        host.terminate();
        return false;
    }
}

} // namespace

bool open(tables::Table &MainData, tables::Table &TablesData, Host &host)
{
    const bool main = openTable(MainData, "ZORMain.dbf", host);
    const bool fields = openTable(TablesData, "ZORDet.dbf", host);
    return main && fields;
}

void emptyMain(tables::Table &MainData)
{
    MainData.First();
    while (!MainData.Eof())
        MainData.Delete();
    MainData.flush();
}

void emptyFields(tables::Table &TablesData, tables::DataSource &DataSource2)
{
    DataSource2.setEnabled(false);
    TablesData.Refresh();
    TablesData.First();
    while (!TablesData.Eof())
        TablesData.Delete();
    TablesData.flush();
    DataSource2.setEnabled(true);
}

void writeMainRow(tables::Table &MainData, const std::string &name, const std::string &path, int number)
{
    MainData.Insert();
    MainData.setFieldAsString("ZORTBLNAME", name);
    MainData.setFieldAsString("ZORTBLPATH", path);
    MainData.setFieldAsInteger("ZORID", number);
    MainData.Post();
}

void writeFieldRow(tables::Table &TablesData, const std::string &name, const std::string &type, int size,
                   int number)
{
    TablesData.Insert();
    TablesData.setFieldAsString("ZOR_NAME", name);
    TablesData.setFieldAsString("ZOR_TYPE", type);
    TablesData.setFieldAsInteger("ZOR_SIZE", size);
    TablesData.setFieldAsInteger("ZOR_ID", number);
    TablesData.Post();
}

std::string typeLabel(int code)
{
    using namespace tables;
    switch (code) {
    case ftUnknown: return "Unknown";
    case ftString: return "String";
    case ftSmallint: case ftInteger: case ftWord: case ftFloat: return "Numeric";
    case ftBoolean: return "Boolean";
    case ftCurrency: return "Currency";
    case ftBCD: return "BCD";
    case ftDate: case ftTime: case ftDateTime: return "DateTime";
    case ftBytes: case ftVarBytes: return "Bytes";
    case ftAutoInc: return "Counter";
    case ftBlob: return "BLOB";
    case ftMemo: case ftFmtMemo: return "Memo";
    case ftGraphic: return "Graphic";
    case ftParadoxOle: case ftDBaseOle: return "OLE";
    case ftTypedBinary: return "TypedBinary";
    default: return "Cursor";
    }
}

void build(tables::Table &Current, tables::Table &MainData, tables::Table &TablesData,
           tables::DataSource &DataSource2, const std::vector<std::string> &NameList,
           const std::vector<std::string> &PathList, const Progress &progress, const CodePageOf &codePageOf)
{
    emptyMain(MainData);
    emptyFields(TablesData, DataSource2);
    int number = 0;
    writeAndSync(MainData, TablesData, [&] {
        for (size_t i = 0; i < NameList.size(); ++i) {
            if (progress)
                progress(int(i), int(NameList.size()), NameList[i]);
            openTable(Current, PathList.at(i), NameList[i], codePageOf ? codePageOf(i) : 0);
            ++number;
            writeMainRow(MainData, NameList[i], PathList[i], number);
            for (const tables::FieldDef &f : Current.fields())
                writeFieldRow(TablesData, f.name, typeLabel(f.type), f.size, number);
        }
    });
}

void openTable(tables::Table &Current, const std::string &folder, const std::string &name, int codePage)
{
    Current.Close();
    Current.DatabaseName = folder;
    Current.TableType = tables::ttDefault;
    Current.TableName = name;
    Current.CodePage = codePage;
    Current.Open();
}

void writeAndSync(tables::Table &MainData, tables::Table &TablesData, const std::function<void()> &writeRows)
{
    try {
        writeRows();
    } catch (...) {
        // The rows of the tables before the failing one stay in the catalogue.
        try {
            MainData.flush();
            TablesData.flush();
        } catch (...) {
        }
        throw;
    }
    // One sync per build, not per row: the catalogue is on the disk when the report shows it.
    MainData.flush(true);
    TablesData.flush(true);
}

} // namespace catalogue

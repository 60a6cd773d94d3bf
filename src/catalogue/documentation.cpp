#include "catalogue/documentation.h"

#include "tables/codepage.h"
#include "tables/recordsource.h"

namespace catalogue {

namespace {

constexpr size_t kNameWidth = 20;       // ZOR_NAME
constexpr int kCatalogueCodePage = 1251; // the catalogue files' language driver (0xC9)

} // namespace

void addCatalogueView(tables::TableInfo &info, const tables::FieldDefs &presented)
{
    size_t next = 0;
    for (tables::FieldInfo &f : info.fields) {
        if (f.system || next >= presented.size())
            continue;
        const tables::FieldDef &d = presented[next++];
        f.catalogued = true;
        // As stored: cut to the column's width, letters the catalogue's code page lacks as '?'.
        f.catalogueName = tables::codepage::toUtf8(
            tables::codepage::fromUtf8(tables::codepage::leftChars(d.name, kNameWidth), kCatalogueCodePage),
            kCatalogueCodePage);
        f.catalogueType = typeLabel(d.type);
        f.catalogueSize = d.size;
    }
}

void buildDocumented(tables::Table &Current, tables::Table &MainData, tables::Table &TablesData,
                     tables::DataSource &DataSource2, const std::vector<std::string> &NameList,
                     const std::vector<std::string> &PathList, const DescribeLater &later,
                     const Progress &progress, const CodePageOf &codePageOf)
{
    emptyMain(MainData);
    emptyFields(TablesData, DataSource2);
    int number = 0;
    writeAndSync(MainData, TablesData, [&] {
        for (size_t i = 0; i < NameList.size(); ++i) {
            if (progress)
                progress(int(i), int(NameList.size()), NameList[i]);
            const int codePage = codePageOf ? codePageOf(i) : 0;
            const std::string &folder = PathList.at(i), &name = NameList[i];
            try {
                openTable(Current, folder, name, codePage);
            } catch (const std::exception &) {
                // The reason is told by describing the file on its own.
                later([folder, name, codePage] {
                    tables::TableInfo info = tables::describeTable(folder + name, codePage);
                    if (info.error.empty())
                        info.error = "не удалось открыть таблицу";
                    info.folder = folder;
                    info.name = name;
                    return info;
                });
                continue;
            }
            ++number;
            writeMainRow(MainData, name, folder, number);
            for (const tables::FieldDef &f : Current.fields())
                writeFieldRow(TablesData, f.name, typeLabel(f.type), f.size, number);
            std::shared_ptr<const tables::RecordSource> source = Current.takeSource();
            later([source, folder, name, codePage, number] {
                tables::TableInfo info = tables::describeTable(folder + name, *source, codePage);
                info.number = number;
                info.folder = folder;
                info.name = name;
                addCatalogueView(info, source->fields());
                return info;
            });
        }
    });
}

std::vector<tables::TableInfo> buildDocumented(tables::Table &Current, tables::Table &MainData,
                                               tables::Table &TablesData, tables::DataSource &DataSource2,
                                               const std::vector<std::string> &NameList,
                                               const std::vector<std::string> &PathList,
                                               const Progress &progress, const CodePageOf &codePageOf)
{
    std::vector<tables::TableInfo> tables;
    tables.reserve(NameList.size());
    buildDocumented(
        Current, MainData, TablesData, DataSource2, NameList, PathList,
        [&tables](const Describing &describe) { tables.push_back(describe()); }, progress, codePageOf);
    return tables;
}

std::vector<tables::TableInfo> describeTables(const std::vector<std::string> &NameList,
                                              const std::vector<std::string> &PathList, const CodePageOf &codePageOf)
{
    std::vector<tables::TableInfo> tables;
    int number = 0;
    for (size_t i = 0; i < NameList.size(); ++i) {
        const int codePage = codePageOf ? codePageOf(i) : 0;
        const std::string path = PathList.at(i) + NameList[i];
        std::unique_ptr<tables::RecordSource> source;
        try {
            source = tables::openRecordSource(path, tables::ttDefault, codePage);
        } catch (const std::exception &) {
        }
        tables::TableInfo info = source ? tables::describeTable(path, *source, codePage) : tables::describeTable(path, codePage);
        info.folder = PathList[i];
        info.name = NameList[i];
        if (source) {
            info.number = ++number;
            addCatalogueView(info, source->fields());
        }
        tables.push_back(std::move(info));
    }
    return tables;
}

} // namespace catalogue

#include "report/cataloguejob.h"

#include "catalogue/documentation.h"
#include "report/cataloguereport.h"
#include "report/layoutbuilder.h"

namespace report {

CatalogueJob::CatalogueJob()
    : QuickRep1(catalogueReport(MainDataSet, TablesDataSet))
{
    catalogue::setUp(MainData, TablesData, DataSource2);
}

bool CatalogueJob::open(catalogue::Host &host)
{
    return catalogue::open(MainData, TablesData, host);
}

void CatalogueJob::empty()
{
    if (TablesData.Active())
        catalogue::emptyFields(TablesData, DataSource2);
    if (MainData.Active())
        catalogue::emptyMain(MainData);
}

Layout CatalogueJob::build(const std::vector<std::string> &NameList, const std::vector<std::string> &PathList,
                           const catalogue::Progress &progress, const QDateTime &printed, const QLocale &locale,
                           const catalogue::CodePageOf &codePageOf)
{
    catalogue::build(Current, MainData, TablesData, DataSource2, NameList, PathList, progress, codePageOf);
    return layOut(QuickRep1, printed, locale);
}

void CatalogueJob::document(const std::vector<std::string> &NameList, const std::vector<std::string> &PathList,
                            const catalogue::DescribeLater &later, const catalogue::Progress &progress,
                            const catalogue::CodePageOf &codePageOf)
{
    catalogue::buildDocumented(Current, MainData, TablesData, DataSource2, NameList, PathList, later, progress,
                               codePageOf);
}

} // namespace report

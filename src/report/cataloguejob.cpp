#include "report/cataloguejob.h"

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
                           const catalogue::Progress &progress, const QDateTime &printed, const QLocale &locale)
{
    catalogue::build(Current, MainData, TablesData, DataSource2, NameList, PathList, progress);
    return layOut(QuickRep1, printed, locale);
}

} // namespace report

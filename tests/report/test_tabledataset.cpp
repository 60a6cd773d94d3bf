// The report data set over the table engine: the catalogue report run over real catalogue
// tables (fixtures made by another dBASE implementation) joined by the engine's link.
#include "layoutchecks.h"
#include "report/cataloguereport.h"
#include "report/layoutbuilder.h"
#include "report/tabledataset.h"

#include "tables/table.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace report;
using reporttest::bandsNamed;
using reporttest::elementNamed;

namespace {

bool copyFixture(const QString &folder, const QString &name, const QDir &to)
{
    return QFile::copy(QStringLiteral(ZORVIK_FIXTURES "/mdx/%1/%2").arg(folder, name), to.filePath(name));
}

} // namespace

TEST(TableDataSet, CatalogueReportOverLinkedTables)
{
    // ZORMAIN: ZORID 1, 2 (deleted), 3. ZORDET by ZOR_ID: 1 -> ID, NOTES; 2 -> three rows of the
    // deleted table; 3 -> PRICE.
    QTemporaryDir dir;
    const QDir folder(dir.path());
    ASSERT_TRUE(copyFixture(QStringLiteral("main_rows"), QStringLiteral("ZORMAIN.DBF"), folder));
    ASSERT_TRUE(copyFixture(QStringLiteral("main_rows"), QStringLiteral("ZORMAIN.MDX"), folder));
    ASSERT_TRUE(copyFixture(QStringLiteral("det_rows"), QStringLiteral("ZORDET.DBF"), folder));
    ASSERT_TRUE(copyFixture(QStringLiteral("det_rows"), QStringLiteral("ZORDET.MDX"), folder));

    tables::Table MainData, TablesData;
    tables::DataSource DataSource2;
    MainData.DatabaseName = (dir.path() + QLatin1Char('/')).toStdString();
    MainData.TableName = "ZORMAIN.DBF";
    MainData.IndexName = "ZORID";
    TablesData.DatabaseName = MainData.DatabaseName;
    TablesData.TableName = "ZORDET.DBF";
    TablesData.IndexName = "ZOR_ID";
    DataSource2.setDataSet(&MainData);
    TablesData.MasterFields = "ZORID";
    TablesData.setMasterSource(&DataSource2);
    MainData.Open();
    TablesData.Open();

    TableDataSet mainData(MainData), tablesData(TablesData);
    const Layout layout = layOut(catalogueReport(mainData, tablesData));
    ASSERT_EQ(layout.pageCount(), 1);
    std::vector<QString> lines;
    for (const PlacedBand &b : layout.page(0)) {
        if (b.name == QLatin1String("QRBand4"))
            lines.push_back(elementNamed(b, QStringLiteral("QRDBText2"))->text + QLatin1Char('|')
                            + elementNamed(b, QStringLiteral("QRDBText1"))->text);
        else if (b.name == QLatin1String("QRSubDetail1"))
            lines.push_back(elementNamed(b, QStringLiteral("QRDBText3"))->text + QLatin1Char('|')
                            + elementNamed(b, QStringLiteral("QRDBText5"))->text + QLatin1Char('|')
                            + elementNamed(b, QStringLiteral("QRDBText6"))->text);
        else if (b.name == QLatin1String("QRBand6"))
            lines.push_back(QStringLiteral("--"));
    }
    const std::vector<QString> expected = {
        QStringLiteral("ALLTYPES.DB|C:\\DATA\\TABLES\\"), QStringLiteral("ID|Integer|4"), QStringLiteral("NOTES|Memo|10"),
        QStringLiteral("--"), QStringLiteral("ZORDet.dbf|C:\\DATA\\TABLES\\"), QStringLiteral("PRICE|Currency|8"),
        QStringLiteral("--")};
    EXPECT_EQ(lines, expected);
}

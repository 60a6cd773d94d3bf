#include "cataloguereport.h"

#include "dataset.h"

namespace report {

namespace {

FontDef arial10(bool bold, bool italic, bool underline)
{
    FontDef f;
    f.family = QStringLiteral("Arial");
    f.pointSize = 10;
    f.bold = bold;
    f.italic = italic;
    f.underline = underline;
    return f;
}

} // namespace

QString catalogueCreditLine()
{
    return QStringLiteral("Zorvik 1.0 — описание таблиц");
}

QString catalogueContactLine()
{
    return QStringLiteral("Вопросы и замечания: zorvik@example.org");
}

Report catalogueReport(DataSet &mainData, DataSet &tablesData)
{
    Report QuickRep1(QStringLiteral("QuickRep1"));
    QuickRep1.title = QStringLiteral("Описание таблиц");
    QuickRep1.dataSet = &mainData;
    QuickRep1.printIfEmpty = true;
    QuickRep1.lastPageFooter = true;
    // PageSetup and FontDef defaults are the report's: A4 portrait, 10 mm margins, Arial 10.

    const FontDef underlined = arial10(false, false, true);
    const FontDef boldItalic = arial10(true, true, false);
    const FontDef bold = arial10(true, false, false);

    Band *QRBand1 = QuickRep1.addBand(BandKind::Title, QStringLiteral("QRBand1"), 9.3);
    QRBand1->addLabel(QStringLiteral("QRLabel1"), 84.7, 2.1, QStringLiteral("Описание таблиц"));

    QuickRep1.addBand(BandKind::ColumnHeader, QStringLiteral("QRBand2"), 8.5);

    Band *QRBand4 = QuickRep1.addBand(BandKind::Detail, QStringLiteral("QRBand4"), 13.5);
    QRBand4->frame.sides = FrameSide::All;
    QRBand4->addLabel(QStringLiteral("QRLabel2"), 6.3, 2.1, QStringLiteral("Таблица:"), underlined);
    QRBand4->addDataText(QStringLiteral("QRDBText2"), 21.2, 2.1, QStringLiteral("ZORTBLNAME"), boldItalic).dataSet = &mainData;
    QRBand4->addLabel(QStringLiteral("QRLabel3"), 76.2, 2.1, QStringLiteral("Путь:"), underlined);
    QRBand4->addDataText(QStringLiteral("QRDBText1"), 86.8, 2.1, QStringLiteral("ZORTBLPATH"), boldItalic).dataSet = &mainData;
    QRBand4->addLabel(QStringLiteral("QRLabel4"), 40.2, 8.5, QStringLiteral("Название поля:"));
    QRBand4->addLabel(QStringLiteral("QRLabel5"), 82.5, 8.5, QStringLiteral("Тип:"));
    QRBand4->addLabel(QStringLiteral("QRLabel6"), 124.9, 8.5, QStringLiteral("Размер:"));

    Band *QRSubDetail1 = QuickRep1.addBand(BandKind::SubDetail, QStringLiteral("QRSubDetail1"), 7.1);
    QRSubDetail1->frame.sides = FrameSide::Left | FrameSide::Right;
    QRSubDetail1->dataSet = &tablesData;
    QRSubDetail1->printIfEmpty = false;
    QRSubDetail1->addDataText(QStringLiteral("QRDBText3"), 40.2, 2.1, QStringLiteral("ZOR_NAME")).dataSet = &tablesData;
    QRSubDetail1->addDataText(QStringLiteral("QRDBText5"), 82.5, 2.1, QStringLiteral("ZOR_TYPE")).dataSet = &tablesData;
    QRSubDetail1->addDataText(QStringLiteral("QRDBText6"), 124.9, 2.1, QStringLiteral("ZOR_SIZE")).dataSet = &tablesData;

    Band *QRBand6 = QuickRep1.addBand(BandKind::GroupFooter, QStringLiteral("QRBand6"), 2.6);
    QRBand6->frame.sides = FrameSide::Bottom | FrameSide::Left | FrameSide::Right;
    QRSubDetail1->footer = QRBand6;

    Band *QRChildBand1 = QuickRep1.addBand(BandKind::Child, QStringLiteral("QRChildBand1"), 6.3);
    QRChildBand1->frame.sides = FrameSide::Top;
    QRBand6->child = QRChildBand1;

    Band *QRBand5 = QuickRep1.addBand(BandKind::PageFooter, QStringLiteral("QRBand5"), 10.6);
    QRBand5->addLabel(QStringLiteral("QRLabel8"), 10.6, 4.2, QStringLiteral("Отпечатано:"), bold);
    QRBand5->addSysData(QStringLiteral("QRSysData1"), 33.9, 4.2, SysData::DateTime);
    QRBand5->addLabel(QStringLiteral("QRLabel9"), 76.2, 4.2, QStringLiteral("Страница:"), bold);
    QRBand5->addSysData(QStringLiteral("QRSysData2"), 95.2, 4.2, SysData::PageNumber);
    QRBand5->addLabel(QStringLiteral("QRLabel7"), 118.5, 0.3, catalogueCreditLine());
    QRBand5->addLabel(QStringLiteral("QRLabel10"), 118.5, 5.0, catalogueContactLine());

    return QuickRep1;
}

} // namespace report

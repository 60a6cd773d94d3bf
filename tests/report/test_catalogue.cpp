// The catalogue report QuickRep1: its bands, positions (mm on the laid-out pages), fonts,
// frames and texts, for the catalogues that matter.
#include "fakedataset.h"
#include "layoutchecks.h"

#include "report/cataloguereport.h"
#include "report/formats.h"
#include "report/layoutbuilder.h"

#include <gtest/gtest.h>

using namespace report;
using reporttest::bandsNamed;
using reporttest::elementNamed;
using reporttest::FakeCatalogue;

namespace {

constexpr double eps = 1e-3;
const QDateTime printed(QDate(2024, 3, 5), QTime(14, 7, 9));
const QLocale russian(QLocale::Russian, QLocale::Russia);

Layout catalogueLayout(FakeCatalogue &c)
{
    return layOut(catalogueReport(c.main, c.fields), printed, russian);
}

struct Expected {
    const char *band;
    double top;
};

void expectBands(const Layout &layout, int page, const std::vector<Expected> &expected)
{
    const std::vector<PlacedBand> bands = layout.page(page);
    ASSERT_EQ(bands.size(), expected.size()) << "page " << page;
    for (std::size_t i = 0; i < bands.size(); ++i) {
        EXPECT_EQ(bands[i].name, QString::fromUtf8(expected[i].band)) << "band " << i;
        EXPECT_NEAR(bands[i].rectMm.top(), expected[i].top, eps) << "band " << i;
        EXPECT_NEAR(bands[i].rectMm.left(), 10, eps);
        EXPECT_NEAR(bands[i].rectMm.width(), 190, eps);
    }
}

void expectAt(const PlacedBand &band, const char *element, double left, double top)
{
    const PlacedElement *e = elementNamed(band, QString::fromUtf8(element));
    ASSERT_NE(e, nullptr) << element;
    EXPECT_NEAR(e->rectMm.left(), band.rectMm.left() + left, eps) << element;
    EXPECT_NEAR(e->rectMm.top(), band.rectMm.top() + top, eps) << element;
    EXPECT_NEAR(e->rectMm.height(), 4.5, eps) << element;
    EXPECT_TRUE(e->opaque) << element;
    EXPECT_LE(e->rectMm.right(), band.rectMm.right() + eps) << element;
}

QString textOf(const PlacedBand &band, const char *element)
{
    return elementNamed(band, QString::fromUtf8(element))->text;
}

FontDef arial10(bool bold, bool italic, bool underline)
{
    FontDef f;
    f.bold = bold;
    f.italic = italic;
    f.underline = underline;
    return f;
}

constexpr double footerTop = 297 - 10 - 10.6;

} // namespace

TEST(CatalogueReport, OneTableOfThreeFields)
{
    FakeCatalogue c;
    c.addTable(QStringLiteral("CLIENTS.DBF"), QStringLiteral("/home/ann/db/"),
               {{QStringLiteral("ID"), QStringLiteral("Numeric"), QStringLiteral("10")},
                {QStringLiteral("NAME"), QStringLiteral("Character"), QStringLiteral("40")},
                {QStringLiteral("BORN"), QStringLiteral("Date"), QStringLiteral("8")}});
    const Layout layout = catalogueLayout(c);
    ASSERT_EQ(layout.pageCount(), 1);
    expectBands(layout, 0,
                {{"QRBand1", 10}, {"QRBand2", 19.3}, {"QRBand4", 27.8}, {"QRSubDetail1", 41.3},
                 {"QRSubDetail1", 48.4}, {"QRSubDetail1", 55.5}, {"QRBand6", 62.6}, {"QRChildBand1", 65.2},
                 {"QRBand5", footerTop}});
    const std::vector<PlacedBand> bands = layout.page(0);

    // Title.
    EXPECT_NEAR(bands[0].rectMm.height(), 9.3, eps);
    EXPECT_EQ(bands[0].frame.sides, FrameSides());
    expectAt(bands[0], "QRLabel1", 84.7, 2.1);
    EXPECT_EQ(textOf(bands[0], "QRLabel1"), QStringLiteral("Описание таблиц"));
    EXPECT_EQ(bands[0].elements[0].font, FontDef());
    // Column header: space only.
    EXPECT_NEAR(bands[1].rectMm.height(), 8.5, eps);
    EXPECT_TRUE(bands[1].elements.empty());
    EXPECT_EQ(bands[1].frame.sides, FrameSides());

    // The table's box.
    const PlacedBand &detail = bands[2];
    EXPECT_NEAR(detail.rectMm.height(), 13.5, eps);
    EXPECT_EQ(detail.frame.sides, FrameSides(FrameSide::All));
    const struct {
        const char *name;
        double left, top;
        const char *text;
        FontDef font;
    } detailElements[] = {
        {"QRLabel2", 6.3, 2.1, "Таблица:", arial10(false, false, true)},
        {"QRDBText2", 21.2, 2.1, "CLIENTS.DBF", arial10(true, true, false)},
        {"QRLabel3", 76.2, 2.1, "Путь:", arial10(false, false, true)},
        {"QRDBText1", 86.8, 2.1, "/home/ann/db/", arial10(true, true, false)},
        {"QRLabel4", 40.2, 8.5, "Название поля:", FontDef()},
        {"QRLabel5", 82.5, 8.5, "Тип:", FontDef()},
        {"QRLabel6", 124.9, 8.5, "Размер:", FontDef()},
    };
    for (const auto &e : detailElements) {
        SCOPED_TRACE(e.name);
        expectAt(detail, e.name, e.left, e.top);
        EXPECT_EQ(textOf(detail, e.name), QString::fromUtf8(e.text));
        EXPECT_EQ(elementNamed(detail, QString::fromUtf8(e.name))->font, e.font);
    }

    // Field lines inside the box's side lines, under the headings.
    const char *names[] = {"ID", "NAME", "BORN"}, *types[] = {"Numeric", "Character", "Date"}, *sizes[] = {"10", "40", "8"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const PlacedBand &row = bands[3 + i];
        EXPECT_NEAR(row.rectMm.height(), 7.1, eps);
        EXPECT_EQ(row.frame.sides, FrameSide::Left | FrameSide::Right);
        expectAt(row, "QRDBText3", 40.2, 2.1);
        expectAt(row, "QRDBText5", 82.5, 2.1);
        expectAt(row, "QRDBText6", 124.9, 2.1);
        EXPECT_EQ(textOf(row, "QRDBText3"), QString::fromUtf8(names[i]));
        EXPECT_EQ(textOf(row, "QRDBText5"), QString::fromUtf8(types[i]));
        EXPECT_EQ(textOf(row, "QRDBText6"), QString::fromUtf8(sizes[i]));    // as given: 10, not 10.00
        for (const PlacedElement &e : row.elements)
            EXPECT_EQ(e.font, FontDef());
        EXPECT_NEAR(elementNamed(row, QStringLiteral("QRDBText3"))->rectMm.left(),
                    elementNamed(detail, QStringLiteral("QRLabel4"))->rectMm.left(), eps);
        EXPECT_NEAR(elementNamed(row, QStringLiteral("QRDBText6"))->rectMm.left(),
                    elementNamed(detail, QStringLiteral("QRLabel6"))->rectMm.left(), eps);
    }

    // The closing line, then the gap with a line on top.
    EXPECT_NEAR(bands[6].rectMm.height(), 2.6, eps);
    EXPECT_EQ(bands[6].frame.sides, FrameSide::Bottom | FrameSide::Left | FrameSide::Right);
    EXPECT_TRUE(bands[6].elements.empty());
    EXPECT_NEAR(bands[7].rectMm.height(), 6.3, eps);
    EXPECT_EQ(bands[7].frame.sides, FrameSides(FrameSide::Top));

    // Page footer.
    const PlacedBand &footer = bands[8];
    EXPECT_NEAR(footer.rectMm.height(), 10.6, eps);
    EXPECT_NEAR(footer.rectMm.bottom(), 287, eps);
    EXPECT_EQ(footer.frame.sides, FrameSides());
    const struct {
        const char *name;
        double left, top;
        QString text;
        FontDef font;
    } footerElements[] = {
        {"QRLabel8", 10.6, 4.2, QStringLiteral("Отпечатано:"), arial10(true, false, false)},
        {"QRSysData1", 33.9, 4.2, QStringLiteral("05.03.2024 14:07:09"), FontDef()},
        {"QRLabel9", 76.2, 4.2, QStringLiteral("Страница:"), arial10(true, false, false)},
        {"QRSysData2", 95.2, 4.2, QStringLiteral("1"), FontDef()},
        {"QRLabel7", 118.5, 0.3, catalogueCreditLine(), FontDef()},
        {"QRLabel10", 118.5, 5.0, catalogueContactLine(), FontDef()},
    };
    for (const auto &e : footerElements) {
        SCOPED_TRACE(e.name);
        expectAt(footer, e.name, e.left, e.top);
        EXPECT_EQ(textOf(footer, e.name), e.text);      // whole: the credit and contact lines fit
        EXPECT_EQ(elementNamed(footer, QString::fromUtf8(e.name))->font, e.font);
    }
}

// A folder or file name too long for one line up to the band's right edge is cut in its middle
// with "…": its beginning (the root) and its end (the last folders, the trailing separator)
// stay, so the report never shows another, shorter folder. Texts that fit stay whole.
TEST(CatalogueReport, LongFolderAndFileNameAreShortenedInTheMiddle)
{
    const QString folder = QStringLiteral("/home/ann/projects/accounting/archive/2019/branch offices/north-west/"
                                          "warehouse tables/backup copies/last folder/");
    const QString name = QStringLiteral("a very long table name of the warehouse stock taken at the end of each "
                                        "quarter of the year with its corrections and notes.dbf");
    const QString shortFolder = QStringLiteral("C:\\Program Files\\Borland\\Common Files\\BDE\\");
    FakeCatalogue c;
    c.addTable(name, folder, {});
    c.addTable(QStringLiteral("SHORT.DB"), shortFolder, {});
    const Layout layout = catalogueLayout(c);
    const std::vector<PlacedBand> boxes = bandsNamed(layout, 0, QStringLiteral("QRBand4"));
    ASSERT_EQ(boxes.size(), 2u);

    const struct {
        const char *element;
        QString whole, begins, ends;
    } cut[] = {
        {"QRDBText1", folder, QStringLiteral("/home/ann/"), QStringLiteral("/last folder/")},
        {"QRDBText2", name, QStringLiteral("a very long"), QStringLiteral("notes.dbf")},
    };
    for (const auto &e : cut) {
        SCOPED_TRACE(e.element);
        const PlacedElement *placed = elementNamed(boxes[0], QString::fromUtf8(e.element));
        ASSERT_NE(placed, nullptr);
        EXPECT_FALSE(placed->text.contains(u'\n'));
        EXPECT_EQ(placed->text.count(QChar(0x2026)), 1) << placed->text.toStdString();
        EXPECT_TRUE(placed->text.startsWith(e.begins)) << placed->text.toStdString();
        EXPECT_TRUE(placed->text.endsWith(e.ends)) << placed->text.toStdString();
        EXPECT_LT(placed->text.size(), e.whole.size());
        EXPECT_LE(placed->rectMm.right(), boxes[0].rectMm.right() + eps);
        EXPECT_GT(placed->rectMm.right(), boxes[0].rectMm.right() - 10);   // the room is used
    }
    EXPECT_EQ(textOf(boxes[1], "QRDBText1"), shortFolder);
    EXPECT_EQ(textOf(boxes[1], "QRDBText2"), QStringLiteral("SHORT.DB"));
}

TEST(CatalogueReport, EmptyCatalogueShowsOneEmptyBox)
{
    FakeCatalogue c;
    const Layout layout = catalogueLayout(c);
    ASSERT_EQ(layout.pageCount(), 1);
    expectBands(layout, 0, {{"QRBand1", 10}, {"QRBand2", 19.3}, {"QRBand4", 27.8}, {"QRBand5", footerTop}});
    const PlacedBand box = layout.page(0).at(2);
    EXPECT_EQ(textOf(box, "QRLabel2"), QStringLiteral("Таблица:"));
    EXPECT_EQ(textOf(box, "QRDBText2"), QString());
    EXPECT_EQ(textOf(box, "QRDBText1"), QString());
    EXPECT_EQ(elementNamed(box, QStringLiteral("QRDBText2"))->rectMm.width(), 0.0);
}

TEST(CatalogueReport, TableWithoutFieldsHasNoFieldLinesClosingLineOrGap)
{
    FakeCatalogue c;
    c.addTable(QStringLiteral("EMPTY.DB"), QStringLiteral("/p/"), {});
    c.addTable(QStringLiteral("ONE.DBF"), QStringLiteral("/p/"), {{QStringLiteral("A"), QStringLiteral("Logical"), QStringLiteral("1")}});
    c.addTable(QStringLiteral("EMPTY2.DB"), QStringLiteral("/p/"), {});
    const Layout layout = catalogueLayout(c);
    expectBands(layout, 0,
                {{"QRBand1", 10}, {"QRBand2", 19.3}, {"QRBand4", 27.8}, {"QRBand4", 41.3}, {"QRSubDetail1", 54.8},
                 {"QRBand6", 61.9}, {"QRChildBand1", 64.5}, {"QRBand4", 70.8}, {"QRBand5", footerTop}});
    const std::vector<PlacedBand> bands = layout.page(0);
    EXPECT_EQ(textOf(bands[2], "QRDBText2"), QStringLiteral("EMPTY.DB"));
    EXPECT_EQ(textOf(bands[3], "QRDBText2"), QStringLiteral("ONE.DBF"));
    EXPECT_EQ(textOf(bands[7], "QRDBText2"), QStringLiteral("EMPTY2.DB"));
}

TEST(CatalogueReport, SeveralPagesEachWithHeaderSpaceAndItsOwnPageNumber)
{
    // A table of 10 fields takes 13.5 + 71 + 2.6 + 6.3 = 93.4 mm.
    FakeCatalogue c;
    c.addTables(12, 10);
    const Layout layout = catalogueLayout(c);
    ASSERT_GE(layout.pageCount(), 4);
    int tables = 0, fields = 0;
    for (int p = 0; p < layout.pageCount(); ++p) {
        SCOPED_TRACE(p);
        const std::vector<PlacedBand> bands = layout.page(p);
        ASSERT_GE(bands.size(), 3u);
        const std::size_t header = p == 0 ? 1 : 0;
        EXPECT_EQ(bandsNamed(layout, p, QStringLiteral("QRBand1")).size(), p == 0 ? 1u : 0u);
        EXPECT_EQ(bands[header].name, QStringLiteral("QRBand2"));
        EXPECT_NEAR(bands[header].rectMm.top(), p == 0 ? 19.3 : 10, eps);
        EXPECT_NEAR(bands[header + 1].rectMm.top(), p == 0 ? 27.8 : 18.5, eps);
        EXPECT_EQ(bands.back().name, QStringLiteral("QRBand5"));
        EXPECT_NEAR(bands.back().rectMm.top(), footerTop, eps);
        EXPECT_EQ(textOf(bands.back(), "QRSysData2"), QString::number(p + 1));
        EXPECT_EQ(textOf(bands.back(), "QRSysData1"), QStringLiteral("05.03.2024 14:07:09"));
        for (std::size_t i = header + 1; i + 1 < bands.size(); ++i) {
            EXPECT_NEAR(bands[i].rectMm.top(), bands[i - 1].rectMm.bottom(), eps);   // no gaps
            EXPECT_LE(bands[i].rectMm.bottom(), footerTop + eps);                   // nothing under the footer
            if (bands[i].name == QStringLiteral("QRBand4")) {
                EXPECT_EQ(textOf(bands[i], "QRDBText2"), QStringLiteral("T%1.dbf").arg(++tables));
            } else if (bands[i].name == QStringLiteral("QRSubDetail1")) {
                EXPECT_EQ(textOf(bands[i], "QRDBText3"), QStringLiteral("F%1").arg(fields++ % 10 + 1));
            }
        }
    }
    EXPECT_EQ(tables, 12);
    EXPECT_EQ(fields, 120);
}

struct DateCase {
    const char *name;
    QDateTime when;
    QLocale locale;
    const char *text;
};

void PrintTo(const DateCase &c, std::ostream *os)
{
    *os << c.name;
}

class PrintedDateTime : public ::testing::TestWithParam<DateCase> {};

TEST_P(PrintedDateTime, ShortDateBlankLongTime)
{
    EXPECT_EQ(printedDateTimeText(GetParam().when, GetParam().locale), QString::fromUtf8(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrintedDateTime,
    ::testing::Values(
        DateCase{"Afternoon", QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)), russian, "05.03.2024 14:07:09"},
        DateCase{"MidnightShowsOnlyTheDate", QDateTime(QDate(2024, 3, 5), QTime(0, 0)), russian, "05.03.2024"},
        DateCase{"OneMillisecondPastMidnight", QDateTime(QDate(2024, 3, 5), QTime(0, 0, 0, 1)), russian,
                 "05.03.2024 00:00:00"},
        DateCase{"OneSecondPastMidnight", QDateTime(QDate(2024, 3, 5), QTime(0, 0, 1)), russian, "05.03.2024 00:00:01"},
        DateCase{"OtherLocale", QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)), QLocale(QLocale::English, QLocale::UnitedStates),
                 "3/5/24 2:07:09 PM"}),
    [](const ::testing::TestParamInfo<DateCase> &info) { return std::string(info.param.name); });

TEST(CatalogueReport, FooterShowsTheDateAloneAtMidnight)
{
    FakeCatalogue c;
    const Layout layout = layOut(catalogueReport(c.main, c.fields), QDateTime(QDate(2024, 1, 1), QTime(0, 0)), russian);
    EXPECT_EQ(textOf(bandsNamed(layout, 0, QStringLiteral("QRBand5")).at(0), "QRSysData1"), QStringLiteral("01.01.2024"));
}

TEST(CatalogueReport, SystemLocaleByDefault)
{
    FakeCatalogue c;
    const Layout layout = layOut(catalogueReport(c.main, c.fields), printed);
    EXPECT_EQ(textOf(bandsNamed(layout, 0, QStringLiteral("QRBand5")).at(0), "QRSysData1"),
              printedDateTimeText(printed, QLocale::system()));
}

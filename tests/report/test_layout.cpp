// The band engine: which band lands on which page at which rectangle (millimetres), for
// generic reports; the catalogue report has its own tests.
#include "fakedataset.h"
#include "layoutchecks.h"

#include "report/dataset.h"
#include "report/layoutbuilder.h"
#include "report/report.h"

#include <gtest/gtest.h>

using namespace report;
using reporttest::bandsNamed;
using reporttest::elementNamed;
using reporttest::FakeDataSet;
using reporttest::LinkedDataSet;

namespace {

constexpr double eps = 1e-3;
const QDateTime printed(QDate(2024, 3, 5), QTime(14, 7, 9));

FakeDataSet rowsOf(int n)
{
    FakeDataSet ds;
    for (int i = 1; i <= n; ++i)
        ds.rows.push_back({{QStringLiteral("N"), QString::number(i)}, {QStringLiteral("ID"), QString::number(i)}});
    return ds;
}

// Title 20 mm, column header 10 mm, detail `detailHeight` mm showing column N, footer 10 mm with
// the page number; A4 portrait with 10 mm margins: 257 mm between header and footer.
Report simpleReport(DataSet *ds, double detailHeight = 50)
{
    Report r(QStringLiteral("R"));
    r.dataSet = ds;
    r.addBand(BandKind::Title, QStringLiteral("Title"), 20)->addLabel(QStringLiteral("T"), 50, 2, QStringLiteral("Title"));
    r.addBand(BandKind::ColumnHeader, QStringLiteral("Header"), 10);
    Band *detail = r.addBand(BandKind::Detail, QStringLiteral("Detail"), detailHeight);
    detail->addDataText(QStringLiteral("N"), 5, 1, QStringLiteral("N"));
    r.addBand(BandKind::PageFooter, QStringLiteral("Footer"), 10)
        ->addSysData(QStringLiteral("Page"), 100, 2, SysData::PageNumber);
    return r;
}

std::vector<double> topsOf(const Layout &layout, int page, const QString &name)
{
    std::vector<double> tops;
    for (const PlacedBand &b : bandsNamed(layout, page, name))
        tops.push_back(b.rectMm.top());
    return tops;
}

std::vector<QString> namesOf(const Layout &layout, int page)
{
    std::vector<QString> names;
    for (const PlacedBand &b : layout.page(page))
        names.push_back(b.name);
    return names;
}

void expectTops(const std::vector<double> &actual, const std::vector<double> &expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], eps) << "band " << i;
}

} // namespace

TEST(PageBreaks, BandThatDoesNotFitMovesToTheNextPage)
{
    FakeDataSet ds = rowsOf(12);
    const Layout layout = layOut(simpleReport(&ds), printed);
    // Page 1: title 10..30, header 30..40, then 237 mm: four 50 mm bands. Page 2: header 10..20,
    // then 257 mm: five bands. Page 3: the last three.
    ASSERT_EQ(layout.pageCount(), 3);
    expectTops(topsOf(layout, 0, QStringLiteral("Detail")), {40, 90, 140, 190});
    expectTops(topsOf(layout, 1, QStringLiteral("Detail")), {20, 70, 120, 170, 220});
    expectTops(topsOf(layout, 2, QStringLiteral("Detail")), {20, 70, 120});
    // Rows stay in order across the breaks.
    EXPECT_EQ(elementNamed(bandsNamed(layout, 1, QStringLiteral("Detail")).front(), QStringLiteral("N"))->text, QStringLiteral("5"));
    EXPECT_EQ(elementNamed(bandsNamed(layout, 2, QStringLiteral("Detail")).back(), QStringLiteral("N"))->text, QStringLiteral("12"));
}

TEST(PageBreaks, BandFillingTheRestExactlyStays)
{
    // 257 mm between header and footer on page 2: five bands of 51.4 mm fill it exactly.
    FakeDataSet ds = rowsOf(10);
    Report r = simpleReport(&ds, 51.4);
    r.band(BandKind::Title)->heightMm = 0;
    const Layout layout = layOut(r, printed);
    ASSERT_EQ(layout.pageCount(), 2);
    EXPECT_EQ(bandsNamed(layout, 0, QStringLiteral("Detail")).size(), 5u);
    EXPECT_NEAR(bandsNamed(layout, 0, QStringLiteral("Detail")).back().rectMm.bottom(), 277, eps);
}

TEST(PageBreaks, BandTooHighForAnyPageIsPlacedOnAFreshPage)
{
    FakeDataSet ds = rowsOf(3);
    const Layout layout = layOut(simpleReport(&ds, 300), printed);
    ASSERT_EQ(layout.pageCount(), 3);
    for (int p = 0; p < 3; ++p)
        EXPECT_EQ(bandsNamed(layout, p, QStringLiteral("Detail")).size(), 1u) << "page " << p;
}

TEST(Pages, ColumnHeaderAndFooterOnEveryPageTitleOnlyOnTheFirst)
{
    FakeDataSet ds = rowsOf(19);     // 4 + 5 + 5 + 5
    const Layout layout = layOut(simpleReport(&ds), printed);
    ASSERT_EQ(layout.pageCount(), 4);
    EXPECT_EQ(namesOf(layout, 0).front(), QStringLiteral("Title"));
    expectTops(topsOf(layout, 0, QStringLiteral("Title")), {10});
    expectTops(topsOf(layout, 0, QStringLiteral("Header")), {30});
    for (int p = 0; p < layout.pageCount(); ++p) {
        SCOPED_TRACE(p);
        if (p > 0) {
            EXPECT_TRUE(bandsNamed(layout, p, QStringLiteral("Title")).empty());
            EXPECT_EQ(namesOf(layout, p).front(), QStringLiteral("Header"));
            expectTops(topsOf(layout, p, QStringLiteral("Header")), {10});
        }
        const auto footer = bandsNamed(layout, p, QStringLiteral("Footer"));
        ASSERT_EQ(footer.size(), 1u);
        EXPECT_NEAR(footer[0].rectMm.top(), 277, eps);
        EXPECT_NEAR(footer[0].rectMm.bottom(), 287, eps);
        EXPECT_EQ(elementNamed(footer[0], QStringLiteral("Page"))->text, QString::number(p + 1));
        for (const PlacedBand &b : bandsNamed(layout, p, QStringLiteral("Detail")))
            EXPECT_LE(b.rectMm.bottom(), 277 + eps);
    }
}

TEST(Pages, LastPageFooterCanBeLeftOut)
{
    FakeDataSet ds = rowsOf(6);
    Report r = simpleReport(&ds);
    r.lastPageFooter = false;
    const Layout layout = layOut(r, printed);
    ASSERT_EQ(layout.pageCount(), 2);
    EXPECT_EQ(bandsNamed(layout, 0, QStringLiteral("Footer")).size(), 1u);
    EXPECT_TRUE(bandsNamed(layout, 1, QStringLiteral("Footer")).empty());
}

TEST(Pages, LandscapeSetupTurnsThePage)
{
    FakeDataSet ds = rowsOf(1);
    Report r = simpleReport(&ds);
    r.page.orientation = Orientation::Landscape;
    r.page.marginsMm = QMarginsF(15, 5, 15, 5);
    const Layout layout = layOut(r, printed);
    EXPECT_EQ(layout.pageSetup().pageSizeMm(), QSizeF(297, 210));
    const PlacedBand detail = bandsNamed(layout, 0, QStringLiteral("Detail")).at(0);
    EXPECT_NEAR(detail.rectMm.left(), 15, eps);
    EXPECT_NEAR(detail.rectMm.width(), 267, eps);
    EXPECT_NEAR(bandsNamed(layout, 0, QStringLiteral("Footer")).at(0).rectMm.top(), 195, eps);
}

// Master rows 1..3; sub-detail rows linked by ID; a sub-detail footer with a child band.
struct SubDetailCase {
    const char *name;
    int masterRows;
    std::vector<int> detailRowsOf;      // per master row
    bool masterPrintIfEmpty;
    bool subPrintIfEmpty;
    std::vector<const char *> bands;    // expected band names on page 1 after the header
};

void PrintTo(const SubDetailCase &c, std::ostream *os)
{
    *os << c.name;
}

class SubDetails : public ::testing::TestWithParam<SubDetailCase> {};

TEST_P(SubDetails, PrintWhatTheDataHolds)
{
    const SubDetailCase &c = GetParam();
    FakeDataSet master = rowsOf(c.masterRows);
    LinkedDataSet detail(master, QStringLiteral("ID"), QStringLiteral("MASTER"));
    for (std::size_t m = 0; m < c.detailRowsOf.size(); ++m)
        for (int k = 0; k < c.detailRowsOf[m]; ++k)
            detail.rows.push_back({{QStringLiteral("MASTER"), QString::number(m + 1)},
                                   {QStringLiteral("V"), QStringLiteral("%1.%2").arg(m + 1).arg(k + 1)}});
    Report r = simpleReport(&master, 10);
    r.printIfEmpty = c.masterPrintIfEmpty;
    Band *sub = r.addBand(BandKind::SubDetail, QStringLiteral("Sub"), 5);
    sub->dataSet = &detail;
    sub->printIfEmpty = c.subPrintIfEmpty;
    sub->addDataText(QStringLiteral("V"), 20, 0, QStringLiteral("V"));
    sub->footer = r.addBand(BandKind::GroupFooter, QStringLiteral("Foot"), 3);
    sub->footer->child = r.addBand(BandKind::Child, QStringLiteral("Gap"), 4);

    const Layout layout = layOut(r, printed);
    ASSERT_EQ(layout.pageCount(), 1);
    std::vector<QString> names = namesOf(layout, 0);
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(names[0], QStringLiteral("Title"));
    EXPECT_EQ(names[1], QStringLiteral("Header"));
    EXPECT_EQ(names.back(), QStringLiteral("Footer"));
    std::vector<QString> expected;
    for (const char *b : c.bands)
        expected.push_back(QString::fromUtf8(b));
    EXPECT_EQ(std::vector<QString>(names.begin() + 2, names.end() - 1), expected);

    // Bands follow one another without gaps.
    const std::vector<PlacedBand> bands = layout.page(0);
    for (std::size_t i = 1; i + 1 < bands.size(); ++i)
        EXPECT_NEAR(bands[i].rectMm.top(), bands[i - 1].rectMm.bottom(), eps) << "band " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SubDetails,
    ::testing::Values(
        SubDetailCase{"RowsThenFooterAndChild", 2, {2, 1}, true, false,
                      {"Detail", "Sub", "Sub", "Foot", "Gap", "Detail", "Sub", "Foot", "Gap"}},
        SubDetailCase{"EmptySubDetailPrintsNothing", 2, {0, 1}, true, false,
                      {"Detail", "Detail", "Sub", "Foot", "Gap"}},
        SubDetailCase{"EmptySubDetailPrintedIfEmpty", 1, {0}, true, true, {"Detail", "Sub", "Foot", "Gap"}},
        SubDetailCase{"EmptyMasterPrintedIfEmpty", 0, {}, true, false, {"Detail"}},
        SubDetailCase{"EmptyMasterNotPrinted", 0, {}, false, false, {}}),
    [](const ::testing::TestParamInfo<SubDetailCase> &info) { return std::string(info.param.name); });

TEST(SubDetails, TextsComeFromTheLinkedRows)
{
    FakeDataSet master = rowsOf(2);
    LinkedDataSet detail(master, QStringLiteral("ID"), QStringLiteral("MASTER"));
    detail.rows = {{{QStringLiteral("MASTER"), QStringLiteral("2")}, {QStringLiteral("V"), QStringLiteral("b")}},
                   {{QStringLiteral("MASTER"), QStringLiteral("1")}, {QStringLiteral("V"), QStringLiteral("a")}}};
    Report r = simpleReport(&master, 10);
    Band *sub = r.addBand(BandKind::SubDetail, QStringLiteral("Sub"), 5);
    sub->dataSet = &detail;
    sub->addDataText(QStringLiteral("V"), 20, 0, QStringLiteral("V"));
    const std::vector<PlacedBand> rows = bandsNamed(layOut(r, printed), 0, QStringLiteral("Sub"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(elementNamed(rows[0], QStringLiteral("V"))->text, QStringLiteral("a"));
    EXPECT_EQ(elementNamed(rows[1], QStringLiteral("V"))->text, QStringLiteral("b"));
}

TEST(Frames, SidesAndBandGeometryAreKept)
{
    FakeDataSet ds = rowsOf(1);
    Report r = simpleReport(&ds);
    r.band(BandKind::Detail)->frame.sides = FrameSide::Left | FrameSide::Bottom;
    r.band(BandKind::ColumnHeader)->frame.sides = FrameSide::All;
    const Layout layout = layOut(r, printed);
    const PlacedBand detail = bandsNamed(layout, 0, QStringLiteral("Detail")).at(0);
    EXPECT_EQ(detail.frame.sides, FrameSide::Left | FrameSide::Bottom);
    EXPECT_EQ(detail.frame.color, QColor(Qt::black));
    EXPECT_EQ(detail.color, QColor(Qt::white));
    EXPECT_EQ(detail.rectMm, QRectF(10, 40, 190, 50));
    EXPECT_EQ(bandsNamed(layout, 0, QStringLiteral("Header")).at(0).frame.sides, FrameSides(FrameSide::All));
    EXPECT_EQ(bandsNamed(layout, 0, QStringLiteral("Footer")).at(0).frame.sides, FrameSides());
}

TEST(Elements, PlacedFromTheBandCornerSizedToTheirText)
{
    FakeDataSet ds;
    ds.rows = {{{QStringLiteral("N"), QStringLiteral("10")}}};
    Report r = simpleReport(&ds);
    Band *detail = r.band(BandKind::Detail);
    detail->addLabel(QStringLiteral("Short"), 30, 7.5, QStringLiteral("ab"));
    detail->addLabel(QStringLiteral("Long"), 30, 15, QStringLiteral("abc abc"));
    detail->addLabel(QStringLiteral("Empty"), 30, 25, QString());
    detail->addLabel(QStringLiteral("Wrapped"), 150, 30, QStringLiteral("several words that are far too wide for forty mm"));
    const PlacedBand band = bandsNamed(layOut(r, printed), 0, QStringLiteral("Detail")).at(0);

    const PlacedElement *n = elementNamed(band, QStringLiteral("N"));
    EXPECT_EQ(n->text, QStringLiteral("10"));     // data text printed unchanged
    EXPECT_NEAR(n->rectMm.left(), 15, eps);
    EXPECT_NEAR(n->rectMm.top(), 41, eps);
    EXPECT_NEAR(n->rectMm.height(), 4.5, eps);
    EXPECT_TRUE(n->opaque);
    EXPECT_EQ(n->font, FontDef());               // the default font: Arial 10 regular

    const PlacedElement *shortOne = elementNamed(band, QStringLiteral("Short"));
    const PlacedElement *longOne = elementNamed(band, QStringLiteral("Long"));
    EXPECT_NEAR(shortOne->rectMm.topLeft().x(), 40, eps);
    EXPECT_NEAR(shortOne->rectMm.topLeft().y(), 47.5, eps);
    EXPECT_GT(shortOne->rectMm.width(), 2.0);
    EXPECT_GT(longOne->rectMm.width(), 2 * shortOne->rectMm.width());
    EXPECT_EQ(elementNamed(band, QStringLiteral("Empty"))->rectMm.width(), 0.0);

    // Wrapped at the band's right edge; only the line that fits in 4.5 mm is kept.
    const PlacedElement *wrapped = elementNamed(band, QStringLiteral("Wrapped"));
    EXPECT_LE(wrapped->rectMm.right(), 200 + eps);
    EXPECT_FALSE(wrapped->text.contains(QLatin1Char('\n')));
    EXPECT_TRUE(wrapped->text.startsWith(QStringLiteral("several")));
    EXPECT_LT(wrapped->text.size(), 30);
}

TEST(Elements, TallElementsKeepTheWrappedLinesThatFit)
{
    Report r(QStringLiteral("R"));
    Band *title = r.addBand(BandKind::Title, QStringLiteral("Title"), 30);
    Element &e = title->addLabel(QStringLiteral("L"), 150, 0, QStringLiteral("one two three four five six seven eight nine ten"));
    e.heightMm = 9;         // room for two lines of 10 pt
    const PlacedElement placed = layOut(r, printed).page(0).at(0).elements.at(0);
    EXPECT_EQ(placed.text.count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(placed.text.startsWith(QStringLiteral("one two")));
    EXPECT_NEAR(placed.rectMm.height(), 9, eps);
}

TEST(Elements, DataTextReadsItsOwnDataSetOrTheBands)
{
    FakeDataSet master = rowsOf(2);
    FakeDataSet other;
    other.rows = {{{QStringLiteral("X"), QStringLiteral("other")}}};
    Report r = simpleReport(&master, 10);
    r.band(BandKind::Detail)->addDataText(QStringLiteral("X"), 50, 1, QStringLiteral("X")).dataSet = &other;
    other.first();
    const Layout layout = layOut(r, printed);
    const auto details = bandsNamed(layout, 0, QStringLiteral("Detail"));
    ASSERT_EQ(details.size(), 2u);
    EXPECT_EQ(elementNamed(details[1], QStringLiteral("N"))->text, QStringLiteral("2"));
    EXPECT_EQ(elementNamed(details[1], QStringLiteral("X"))->text, QStringLiteral("other"));
}

// Painting and PDF output of laid-out pages.
#include "fakedataset.h"
#include "layoutchecks.h"

#include "report/cataloguereport.h"
#include "report/error.h"
#include "report/layoutbuilder.h"
#include "report/pagepainter.h"
#include "report/pdfwriter.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace report;
using reporttest::bandsNamed;
using reporttest::FakeCatalogue;
using reporttest::pdfPages;

namespace {

Layout threePages()
{
    FakeCatalogue c;
    c.addTables(8, 10);
    return layOut(catalogueReport(c.main, c.fields));
}

// Whether a pixel next to the point is darker than mid-grey (a thin line falls between pixels).
bool darkAt(const QImage &image, double xMm, double yMm, double pixelsPerMm)
{
    const int x = qRound(xMm * pixelsPerMm), y = qRound(yMm * pixelsPerMm);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (image.valid(x + dx, y + dy) && qGray(image.pixel(x + dx, y + dy)) < 128)
                return true;
    return false;
}

} // namespace

TEST(Pdf, WritesEveryPage)
{
    const Layout layout = threePages();
    ASSERT_EQ(layout.pageCount(), 3);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("описание.pdf"));
    writePdf(layout, path);
    EXPECT_EQ(pdfPages(path), 3);
}

TEST(Pdf, UnwritablePathIsNamed)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("нет/отчёт.pdf"));
    try {
        writePdf(threePages(), path);
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Файл «%1»: не удаётся записать").arg(path))) << e.what();
    }
}

TEST(Printing, PageRangeAndCopies)
{
    const Layout layout = threePages();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("range.pdf"));
    {
        QPdfWriter writer(path);
        writer.setPageLayout(layout.pageSetup().pageLayout());
        printPages(layout, writer, 1, 2, 2);
    }
    EXPECT_EQ(pdfPages(path), 4);
}

TEST(Painting, FramesLandWhereTheLayoutPutsThem)
{
    // Not a picture comparison: the frame lines of the first table's box must be where its
    // band is, at any scale, and the page around it white.
    FakeCatalogue c;
    c.addTables(1, 3);
    const Layout layout = layOut(catalogueReport(c.main, c.fields));
    const PlacedBand box = bandsNamed(layout, 0, QStringLiteral("QRBand4")).at(0);
    for (double k : {2.0, 5.0}) {
        SCOPED_TRACE(k);
        QImage image(qRound(210 * k), qRound(297 * k), QImage::Format_RGB32);
        image.fill(Qt::gray);
        QPainter painter(&image);
        paintPage(layout, 0, painter, k);
        painter.end();
        const double midY = box.rectMm.center().y(), midX = box.rectMm.center().x();
        EXPECT_TRUE(darkAt(image, box.rectMm.left(), midY, k));
        EXPECT_TRUE(darkAt(image, box.rectMm.right(), midY, k));
        EXPECT_TRUE(darkAt(image, midX, box.rectMm.top(), k));
        EXPECT_TRUE(darkAt(image, midX, box.rectMm.bottom(), k));
        EXPECT_FALSE(darkAt(image, 5, 5, k));          // margin: white paper
        EXPECT_FALSE(darkAt(image, 105, 200, k));      // empty body below the box
    }
}

#include "pagepainter.h"

#include "error.h"
#include "layout.h"

#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>

namespace report {

namespace {

QRectF scaled(const QRectF &mm, double k)
{
    return QRectF(mm.left() * k, mm.top() * k, mm.width() * k, mm.height() * k);
}

void paintFrame(QPainter &painter, const QRectF &r, const Frame &frame, double k)
{
    if (!frame.sides)
        return;
    const double width = std::max(1.0, frame.widthMm * k);
    QPen pen(frame.color, width);
    pen.setCapStyle(Qt::SquareCap);
    painter.setPen(pen);
    // Lines of a pixel or two (a screen) are drawn crisp rather than smeared over two pixels.
    painter.setRenderHint(QPainter::Antialiasing, width >= 2.5);
    if (frame.sides & FrameSide::Top)
        painter.drawLine(r.topLeft(), r.topRight());
    if (frame.sides & FrameSide::Bottom)
        painter.drawLine(r.bottomLeft(), r.bottomRight());
    if (frame.sides & FrameSide::Left)
        painter.drawLine(r.topLeft(), r.bottomLeft());
    if (frame.sides & FrameSide::Right)
        painter.drawLine(r.topRight(), r.bottomRight());
}

} // namespace

void paintPage(const Layout &layout, int page, QPainter &painter, double pixelsPerMm)
{
    const double k = pixelsPerMm;
    // A font's point size is turned into pixels at the device's resolution; scale it so that its
    // height in painter units is its height in millimetres times k.
    const QPaintDevice *device = painter.device();
    const double dpi = device && device->logicalDpiY() > 0 ? device->logicalDpiY() : 96.0;
    const double pointScale = 25.4 * k / dpi;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QSizeF size = layout.pageSetup().pageSizeMm();
    painter.fillRect(QRectF(0, 0, size.width() * k, size.height() * k), Qt::white);

    // Backgrounds first, then texts, then frame lines: a band's white background must not cover
    // the line its neighbour drew on their common edge.
    const std::vector<PlacedBand> bands = layout.page(page);
    for (const PlacedBand &band : bands)
        painter.fillRect(scaled(band.rectMm, k), band.color);
    painter.setPen(Qt::black);
    for (const PlacedBand &band : bands) {
        for (const PlacedElement &e : band.elements) {
            if (e.text.isEmpty())
                continue;
            const QRectF er = scaled(e.rectMm, k);
            if (e.opaque)
                painter.fillRect(er, Qt::white);
            QFont font = e.font.toQFont();
            font.setPointSizeF(e.font.pointSize * pointScale);
            painter.setFont(font);
            // The layout has already broken the lines; the text is drawn as it stands.
            painter.drawText(er, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, e.text);
        }
    }
    for (const PlacedBand &band : bands)
        paintFrame(painter, scaled(band.rectMm, k), band.frame, k);
    painter.restore();
}

void paintPage(const Layout &layout, int page, QPainter &painter)
{
    const QPaintDevice *device = painter.device();
    const double dpi = device && device->logicalDpiX() > 0 ? device->logicalDpiX() : 96.0;
    paintPage(layout, page, painter, dpi / 25.4);
}

void printPages(const Layout &layout, QPagedPaintDevice &device, int first, int last, int copies)
{
    first = std::max(first, 0);
    last = std::min(last, layout.pageCount() - 1);
    QPainter painter;
    if (!painter.begin(&device))
        throw Error(QStringLiteral("Не удаётся начать печать отчёта."));
    // The painter's origin is the corner of the device's paint rectangle; move it to the
    // corner of the sheet.
    const int dpi = device.logicalDpiX();
    const QRect paintRect = device.pageLayout().paintRectPixels(dpi);
    bool started = false;
    for (int copy = 0; copy < std::max(1, copies); ++copy) {
        for (int page = first; page <= last; ++page) {
            if (started)
                device.newPage();
            started = true;
            painter.save();
            painter.translate(-paintRect.topLeft());
            paintPage(layout, page, painter, dpi / 25.4);
            painter.restore();
        }
    }
    painter.end();
}

} // namespace report

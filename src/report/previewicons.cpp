#include "previewicons_p.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace report {

namespace {

constexpr int side = 32;    // drawn at 32 px, scaled down by the tool bar

void drawSheet(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.setPen(QPen(QColor(150, 150, 150), 1.5));
    for (double y = r.top() + 5; y < r.bottom() - 3; y += 4)
        p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
}

void drawMagnifier(QPainter &p)
{
    p.setPen(QPen(QColor(30, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(21, 21), QPointF(29, 29));
    p.setPen(QPen(QColor(30, 30, 30), 2));
    p.setBrush(QColor(200, 225, 255, 200));
    p.drawEllipse(QPointF(14, 14), 10, 10);
}

void drawPrinter(QPainter &p)
{
    p.setPen(QPen(QColor(50, 50, 50), 1.5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 3, 14, 10));               // paper going in
    p.setBrush(QColor(120, 120, 130));
    p.drawRoundedRect(QRectF(3, 12, 26, 12), 2, 2);  // body
    p.setBrush(Qt::white);
    p.drawRect(QRectF(8, 20, 16, 9));               // paper coming out
    p.setBrush(QColor(80, 200, 80));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(25, 15.5), 1.5, 1.5);
}

} // namespace

QIcon previewIcon(PreviewIcon which)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (which) {
    case PreviewIcon::ZoomFit:
        drawSheet(p, QRectF(8.5, 6.5, 11, 15));
        drawMagnifier(p);
        break;
    case PreviewIcon::Zoom100: {
        drawMagnifier(p);
        QFont f;
        f.setPixelSize(9);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(QRectF(4, 4, 20, 20), Qt::AlignCenter, QStringLiteral("1:1"));
        break;
    }
    case PreviewIcon::ZoomWidth:
        drawMagnifier(p);
        p.setPen(QPen(Qt::black, 1.8));
        p.drawLine(QPointF(7, 14), QPointF(21, 14));
        p.drawLine(QPointF(7, 14), QPointF(10, 11));
        p.drawLine(QPointF(7, 14), QPointF(10, 17));
        p.drawLine(QPointF(21, 14), QPointF(18, 11));
        p.drawLine(QPointF(21, 14), QPointF(18, 17));
        break;
    case PreviewIcon::PrinterSetup:
        drawPrinter(p);
        p.setPen(QPen(QColor(20, 20, 120), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(19, 29), QPointF(29, 19));     // a screwdriver over it
        p.setPen(QPen(QColor(200, 60, 40), 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(26, 22), QPointF(30, 18));
        break;
    case PreviewIcon::Print:
        drawPrinter(p);
        break;
    }
    p.end();
    return QIcon(pixmap);
}

} // namespace report

#include "pageview.h"

#include "pagepainter.h"

#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace report {

namespace {
constexpr int gap = 12;    // pixels around the page
}

PageView::PageView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
}

void PageView::setReportLayout(const Layout &layout)
{
    m_layout = layout;
    m_page = -1;
    setPage(0);
    applyZoomMode();
}

void PageView::setPage(int page)
{
    page = std::clamp(page, 0, std::max(0, m_layout.pageCount() - 1));
    if (page == m_page)
        return;
    m_page = page;
    verticalScrollBar()->setValue(0);
    viewport()->update();
    emit pageChanged(m_page);
}

void PageView::setZoomMode(ZoomMode mode)
{
    m_mode = mode;
    applyZoomMode();
}

void PageView::setZoom(double zoom)
{
    m_mode = ZoomMode::Fixed;
    zoom = std::clamp(zoom, minZoom, maxZoom);
    if (zoom != m_zoom) {
        m_zoom = zoom;
        updateScrollBars();
        viewport()->update();
    }
    emit zoomChanged(m_zoom);
}

double PageView::pixelsPerMm() const
{
    return m_zoom * logicalDpiX() / 25.4;
}

QSize PageView::sizeFittingPage(int height) const
{
    const int frame = 2 * frameWidth();
    const QSizeF page = m_layout.pageSetup().pageSizeMm();
    const double pageHeight = std::max(1.0, height - frame - 2.0 * gap);
    return {int(std::ceil(pageHeight * page.width() / page.height())) + 2 * gap + frame, height};
}

QSizeF PageView::pageSizeAt(double zoom) const
{
    return m_layout.pageSetup().pageSizeMm() * (zoom * logicalDpiX() / 25.4);
}

void PageView::applyZoomMode()
{
    if (m_mode != ZoomMode::Fixed) {
        const QSizeF one = pageSizeAt(1.0);
        const double byWidth = (viewport()->width() - 2.0 * gap) / one.width();
        const double byHeight = (viewport()->height() - 2.0 * gap) / one.height();
        const double zoom = m_mode == ZoomMode::FitWidth ? byWidth : std::min(byWidth, byHeight);
        m_zoom = std::clamp(zoom, minZoom, maxZoom);
    }
    updateScrollBars();
    viewport()->update();
    emit zoomChanged(m_zoom);
}

void PageView::updateScrollBars()
{
    const QSizeF size = pageSizeAt(m_zoom);
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, int(std::ceil(size.width())) + 2 * gap - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setRange(0, std::max(0, int(std::ceil(size.height())) + 2 * gap - view.height()));
    verticalScrollBar()->setPageStep(view.height());
}

QRectF PageView::pageRect() const
{
    const QSizeF size = pageSizeAt(m_zoom);
    const QSize view = viewport()->size();
    const double x = size.width() + 2 * gap <= view.width() ? (view.width() - size.width()) / 2
                                                            : gap - horizontalScrollBar()->value();
    const double y = size.height() + 2 * gap <= view.height() ? (view.height() - size.height()) / 2
                                                              : gap - verticalScrollBar()->value();
    return QRectF(QPointF(std::round(x), std::round(y)), size);
}

void PageView::paintEvent(QPaintEvent *)
{
    if (m_layout.pageCount() == 0)
        return;
    QPainter painter(viewport());
    const QRectF page = pageRect();
    painter.fillRect(page.translated(3, 3), QColor(0, 0, 0, 90));
    painter.translate(page.topLeft());
    painter.setClipRect(QRectF(QPointF(0, 0), page.size()));
    paintPage(m_layout, m_page, painter, pixelsPerMm());
}

void PageView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    applyZoomMode();
}

void PageView::scrollContentsBy(int, int)
{
    viewport()->update();
}

void PageView::wheelEvent(QWheelEvent *event)
{
    const int steps = event->angleDelta().y();
    if (event->modifiers() & Qt::ControlModifier) {
        if (steps != 0)
            setZoom(m_zoom * (steps > 0 ? 1.25 : 0.8));
        event->accept();
        return;
    }
    QScrollBar *bar = verticalScrollBar();
    if (steps < 0 && bar->value() == bar->maximum() && m_page + 1 < m_layout.pageCount()) {
        emit pageTurnRequested(+1);
        event->accept();
        return;
    }
    if (steps > 0 && bar->value() == bar->minimum() && m_page > 0) {
        emit pageTurnRequested(-1);
        bar->setValue(bar->maximum());
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

} // namespace report

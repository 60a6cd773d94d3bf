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
    layout_ = layout;
    page_ = -1;
    setPage(0);
    applyZoomMode();
}

void PageView::setPage(int page)
{
    page = std::clamp(page, 0, std::max(0, layout_.pageCount() - 1));
    if (page == page_)
        return;
    page_ = page;
    verticalScrollBar()->setValue(0);
    viewport()->update();
    emit pageChanged(page_);
}

void PageView::setZoomMode(ZoomMode mode)
{
    mode_ = mode;
    applyZoomMode();
}

void PageView::setZoom(double zoom)
{
    mode_ = ZoomMode::Fixed;
    zoom = std::clamp(zoom, minZoom, maxZoom);
    if (zoom != zoom_) {
        zoom_ = zoom;
        updateScrollBars();
        viewport()->update();
    }
    emit zoomChanged(zoom_);
}

double PageView::pixelsPerMm() const
{
    return zoom_ * logicalDpiX() / 25.4;
}

QSize PageView::sizeFittingPage(int height) const
{
    const int frame = 2 * frameWidth();
    const QSizeF page = layout_.pageSetup().pageSizeMm();
    const double pageHeight = std::max(1.0, height - frame - 2.0 * gap);
    return {int(std::ceil(pageHeight * page.width() / page.height())) + 2 * gap + frame, height};
}

QSizeF PageView::pageSizeAt(double zoom) const
{
    return layout_.pageSetup().pageSizeMm() * (zoom * logicalDpiX() / 25.4);
}

void PageView::applyZoomMode()
{
    if (mode_ != ZoomMode::Fixed) {
        const QSizeF one = pageSizeAt(1.0);
        const double byWidth = (viewport()->width() - 2.0 * gap) / one.width();
        const double byHeight = (viewport()->height() - 2.0 * gap) / one.height();
        const double zoom = mode_ == ZoomMode::FitWidth ? byWidth : std::min(byWidth, byHeight);
        zoom_ = std::clamp(zoom, minZoom, maxZoom);
    }
    updateScrollBars();
    viewport()->update();
    emit zoomChanged(zoom_);
}

void PageView::updateScrollBars()
{
    const QSizeF size = pageSizeAt(zoom_);
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, int(std::ceil(size.width())) + 2 * gap - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setRange(0, std::max(0, int(std::ceil(size.height())) + 2 * gap - view.height()));
    verticalScrollBar()->setPageStep(view.height());
}

QRectF PageView::pageRect() const
{
    const QSizeF size = pageSizeAt(zoom_);
    const QSize view = viewport()->size();
    const double x = size.width() + 2 * gap <= view.width() ? (view.width() - size.width()) / 2
                                                            : gap - horizontalScrollBar()->value();
    const double y = size.height() + 2 * gap <= view.height() ? (view.height() - size.height()) / 2
                                                              : gap - verticalScrollBar()->value();
    return QRectF(QPointF(std::round(x), std::round(y)), size);
}

void PageView::paintEvent(QPaintEvent *)
{
    if (layout_.pageCount() == 0)
        return;
    QPainter painter(viewport());
    const QRectF page = pageRect();
    painter.fillRect(page.translated(3, 3), QColor(0, 0, 0, 90));
    painter.translate(page.topLeft());
    painter.setClipRect(QRectF(QPointF(0, 0), page.size()));
    paintPage(layout_, page_, painter, pixelsPerMm());
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
            setZoom(zoom_ * (steps > 0 ? 1.25 : 0.8));
        event->accept();
        return;
    }
    QScrollBar *bar = verticalScrollBar();
    if (steps < 0 && bar->value() == bar->maximum() && page_ + 1 < layout_.pageCount()) {
        emit pageTurnRequested(+1);
        event->accept();
        return;
    }
    if (steps > 0 && bar->value() == bar->minimum() && page_ > 0) {
        emit pageTurnRequested(-1);
        bar->setValue(bar->maximum());
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

} // namespace report

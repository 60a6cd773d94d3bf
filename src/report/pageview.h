#pragma once
// The preview's page area: one page of a layout at a zoom, centred, with scroll bars when it
// is larger than the view. Only the page shown is painted.
#include "layout.h"

#include <QAbstractScrollArea>

namespace report {

class PageView : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum class ZoomMode { FitPage, FitWidth, Fixed };

    explicit PageView(QWidget *parent = nullptr);

    void setReportLayout(const Layout &layout);
    const Layout &reportLayout() const { return layout_; }

    int page() const { return page_; }
    void setPage(int page);     // clamped to the pages there are

    void setZoomMode(ZoomMode mode);
    // 1.0 shows the page at its true size on the screen.
    double zoom() const { return zoom_; }
    void setZoom(double zoom);  // switches to ZoomMode::Fixed
    double pixelsPerMm() const;
    // Where the page is drawn in the viewport.
    QRectF pageRect() const;
    // The size of this view, frame included, that shows a whole page at ZoomMode::FitPage
    // when the view is `height` pixels high.
    QSize sizeFittingPage(int height) const;

    static constexpr double minZoom = 0.1;
    static constexpr double maxZoom = 8.0;

signals:
    void pageChanged(int page);
    void zoomChanged(double zoom);
    // The wheel went past the top or bottom of the page: the window may turn the page.
    void pageTurnRequested(int delta);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    QSizeF pageSizeAt(double zoom) const;   // in pixels
    void applyZoomMode();
    void updateScrollBars();

    Layout layout_;
    int page_ = 0;
    ZoomMode mode_ = ZoomMode::FitPage;
    double zoom_ = 1.0;
};

} // namespace report

#pragma once
// The report preview: a window (not modal) showing one page of a laid-out report at a time,
// with a tool bar for zoom, paging, printer setup, printing, saving (PDF or report file),
// opening a report file and closing, and a status line with the page and the zoom.
#include "layout.h"
#include "saveformat.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QPrinter;

namespace report {

class PageView;

// The dialogs the preview asks; the standard ones by default, replaced in tests.
struct PreviewDialogs {
    // Page setup for the printer; true when the user accepted.
    std::function<bool(QPrinter &printer, QWidget *parent)> pageSetup;
    // Print dialog (printer, range, copies) for pages 1..pageCount; true to print.
    std::function<bool(QPrinter &printer, int pageCount, QWidget *parent)> print;
    // File to save to, empty to cancel; *filter receives the filter chosen, if any.
    std::function<QString(QWidget *parent, const QString &suggested, const QStringList &filters, QString *filter)> saveFileName;
    // Report file to open, empty to cancel.
    std::function<QString(QWidget *parent, const QStringList &filters)> openFileName;
    // Shows a failure.
    std::function<void(QWidget *parent, const QString &message)> error;

    static PreviewDialogs standard();
};

class PreviewWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit PreviewWindow(const Layout &layout, QWidget *parent = nullptr);
    ~PreviewWindow() override;

    void setDialogs(const PreviewDialogs &dialogs);
    // Sizes the window to the available area of the screen `near` is on (the primary screen
    // without it), as high as that area with the page fitting its height and no wider than it,
    // and centres it there. The constructor does it near its parent.
    void placeOnScreen(const QWidget *near);
    void setSaveFormats(const QList<SaveFormat> &formats) { saveFormats_ = formats; }
    void setReportLayout(const Layout &layout);
    const Layout &reportLayout() const;

    int currentPage() const;        // from 0
    double zoom() const;            // 1.0 = true size
    QPrinter &printer() { return *printer_; }

public slots:
    void zoomToFit();
    void zoomTo100();
    void zoomToWidth();
    void firstPage();
    void previousPage();
    void nextPage();
    void lastPage();
    void setPage(int page);
    void printerSetup();
    void print();
    void save();
    void load();

signals:
    void closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createActions();
    void updateStatus();
    void guarded(const std::function<void()> &operation);

    PageView *view_ = nullptr;
    std::unique_ptr<QPrinter> printer_;
    PreviewDialogs dialogs_;
    QList<SaveFormat> saveFormats_;
    QList<QAction *> actions_;
    QLabel *pageLabel_ = nullptr;
    QLabel *zoomLabel_ = nullptr;
    bool placedShown_ = false;     // placed again after the first show
};

// Shows the window and returns once it has been closed or destroyed; the other windows of the
// application stay usable meanwhile. The window is not deleted.
void showUntilClosed(PreviewWindow *window);
// Shows the layout in a new preview window and returns once the user has closed it.
void preview(const Layout &layout, QWidget *parent = nullptr);

} // namespace report

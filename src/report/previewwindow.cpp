#include "previewwindow.h"

#include "error.h"
#include "pagepainter.h"
#include "pageview.h"
#include "pdfwriter.h"
#include "previewicons_p.h"
#include "reportfile.h"

#include <QAction>
#include <QCloseEvent>
#include <QShowEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScopeGuard>
#include <QScreen>
#include <QWindow>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

namespace report {

namespace {

QString pdfFilter()
{
    return QStringLiteral("Документ PDF (*.pdf)");
}

} // namespace

PreviewDialogs PreviewDialogs::standard()
{
    PreviewDialogs d;
    d.pageSetup = [](QPrinter &printer, QWidget *parent) {
        // Without a printer Qt's page setup has no paper of its own to show (and complains on the
        // terminal): the user is told plainly instead.
        if (QPrinterInfo::availablePrinterNames().isEmpty()) {
            QMessageBox::information(parent, QStringLiteral("Zorvik"),
                                     QStringLiteral("Принтер не установлен: настраивать нечего. Отчёт печатается "
                                                    "на бумаге A4, книжной, с полями 10 мм; его можно сохранить в PDF."));
            return false;
        }
        QPageSetupDialog dialog(&printer, parent);
        return dialog.exec() == QDialog::Accepted;
    };
    d.print = [](QPrinter &printer, int pageCount, QWidget *parent) {
        QPrintDialog dialog(&printer, parent);
        dialog.setWindowTitle(QStringLiteral("Печать"));
        dialog.setMinMax(1, std::max(1, pageCount));
        dialog.setOptions(QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintCurrentPage
                          | QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
        return dialog.exec() == QDialog::Accepted;
    };
    d.saveFileName = [](QWidget *parent, const QString &suggested, const QStringList &filters, QString *filter) {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Сохранить отчёт"), suggested,
                                            filters.join(QStringLiteral(";;")), filter);
    };
    d.openFileName = [](QWidget *parent, const QStringList &filters) {
        return QFileDialog::getOpenFileName(parent, QStringLiteral("Открыть отчёт"), QString(),
                                            filters.join(QStringLiteral(";;")));
    };
    d.error = [](QWidget *parent, const QString &message) {
        QMessageBox::critical(parent, QStringLiteral("Zorvik"), withFullStop(message));
    };
    return d;
}

PreviewWindow::PreviewWindow(const Layout &layout, QWidget *parent)
    : QMainWindow(parent, Qt::Window)
    , printer_(std::make_unique<QPrinter>(QPrinter::HighResolution))
    , dialogs_(PreviewDialogs::standard())
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    view_ = new PageView(this);
    setCentralWidget(view_);
    pageLabel_ = new QLabel(this);
    pageLabel_->setObjectName(QStringLiteral("pageStatus"));
    zoomLabel_ = new QLabel(this);
    zoomLabel_->setObjectName(QStringLiteral("zoomStatus"));
    statusBar()->addWidget(pageLabel_, 1);
    statusBar()->addPermanentWidget(zoomLabel_);
    createActions();
    connect(view_, &PageView::pageChanged, this, &PreviewWindow::updateStatus);
    connect(view_, &PageView::zoomChanged, this, &PreviewWindow::updateStatus);
    connect(view_, &PageView::pageTurnRequested, this, [this](int delta) { setPage(currentPage() + delta); });

    // One copy, one side, all pages, the first paper bin; the layout's own paper, and no margins
    // of the printer's (the report keeps its own).
    printer_->setCopyCount(1);
    printer_->setDuplex(QPrinter::DuplexNone);
    printer_->setPrintRange(QPrinter::AllPages);
    printer_->setPaperSource(QPrinter::Upper);

    setReportLayout(layout);
    placeOnScreen(parent);
    view_->setFocus();
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::createActions()
{
    QToolBar *bar = addToolBar(QStringLiteral("Просмотр"));
    bar->setObjectName(QStringLiteral("previewToolBar"));
    bar->setMovable(false);
    QStyle *s = style();
    auto add = [&](const QString &name, const QIcon &icon, const QString &tip, QList<QKeySequence> keys,
                   void (PreviewWindow::*slot)()) {
        QAction *a = bar->addAction(icon, tip);
        a->setObjectName(name);
        a->setToolTip(tip);
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        if (slot)
            connect(a, &QAction::triggered, this, slot);
        actions_.append(a);
        return a;
    };
    add(QStringLiteral("zoomFit"), previewIcon(PreviewIcon::ZoomFit), QStringLiteral("По размеру окна"), {}, &PreviewWindow::zoomToFit);
    add(QStringLiteral("zoom100"), previewIcon(PreviewIcon::Zoom100), QStringLiteral("Масштаб 100%"), {}, &PreviewWindow::zoomTo100);
    add(QStringLiteral("zoomWidth"), previewIcon(PreviewIcon::ZoomWidth), QStringLiteral("По ширине страницы"), {}, &PreviewWindow::zoomToWidth);
    bar->addSeparator();
    add(QStringLiteral("firstPage"), s->standardIcon(QStyle::SP_MediaSkipBackward), QStringLiteral("Первая страница"),
        {QKeySequence(Qt::Key_Home), QKeySequence(Qt::CTRL | Qt::Key_Home)}, &PreviewWindow::firstPage);
    add(QStringLiteral("previousPage"), s->standardIcon(QStyle::SP_ArrowLeft), QStringLiteral("Предыдущая страница"),
        {QKeySequence(Qt::Key_PageUp)}, &PreviewWindow::previousPage);
    add(QStringLiteral("nextPage"), s->standardIcon(QStyle::SP_ArrowRight), QStringLiteral("Следующая страница"),
        {QKeySequence(Qt::Key_PageDown)}, &PreviewWindow::nextPage);
    add(QStringLiteral("lastPage"), s->standardIcon(QStyle::SP_MediaSkipForward), QStringLiteral("Последняя страница"),
        {QKeySequence(Qt::Key_End), QKeySequence(Qt::CTRL | Qt::Key_End)}, &PreviewWindow::lastPage);
    bar->addSeparator();
    add(QStringLiteral("printerSetup"), previewIcon(PreviewIcon::PrinterSetup), QStringLiteral("Настройка принтера"), {},
        &PreviewWindow::printerSetup);
    add(QStringLiteral("print"), previewIcon(PreviewIcon::Print), QStringLiteral("Печать"), {QKeySequence(Qt::CTRL | Qt::Key_P)},
        &PreviewWindow::print);
    bar->addSeparator();
    add(QStringLiteral("save"), s->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Сохранить"),
        {QKeySequence(Qt::CTRL | Qt::Key_S)}, &PreviewWindow::save);
    add(QStringLiteral("load"), s->standardIcon(QStyle::SP_DialogOpenButton), QStringLiteral("Открыть"),
        {QKeySequence(Qt::CTRL | Qt::Key_O)}, &PreviewWindow::load);
    bar->addSeparator();
    QAction *close = add(QStringLiteral("close"), s->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("Закрыть"),
                         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}, nullptr);
    connect(close, &QAction::triggered, this, &QWidget::close);
}

void PreviewWindow::setDialogs(const PreviewDialogs &dialogs)
{
    dialogs_ = dialogs;
}

void PreviewWindow::placeOnScreen(const QWidget *near)
{
    QScreen *screen = near && near->screen() ? near->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // The window manager's frame is known once the window exists on screen; before, a title
    // bar and thin borders are allowed for.
    const QMargins frame = windowHandle() && isVisible() ? windowHandle()->frameMargins() : QMargins(4, 30, 4, 4);
    const int height = area.height() - frame.top() - frame.bottom();
    ensurePolished();
    int chrome = 0;
    for (const QWidget *bar : {static_cast<const QWidget *>(findChild<QToolBar *>()), static_cast<const QWidget *>(statusBar())})
        chrome += bar ? bar->sizeHint().height() : 0;
    const int widest = area.width() - frame.left() - frame.right();
    const int width = std::min(widest, std::max(view_->sizeFittingPage(height - chrome).width(), minimumSizeHint().width()));
    resize(width, height);
    move(area.left() + (area.width() - width - frame.left() - frame.right()) / 2,
         area.top() + (area.height() - height - frame.top() - frame.bottom()) / 2);
}

void PreviewWindow::setReportLayout(const Layout &layout)
{
    view_->setReportLayout(layout);
    printer_->setPageLayout(layout.pageSetup().pageLayout());
    printer_->setFullPage(true);      // the layout keeps its own margins
    printer_->setDocName(layout.title());
    setWindowTitle(layout.title().isEmpty() ? QStringLiteral("Предварительный просмотр")
                                            : QStringLiteral("Предварительный просмотр — %1").arg(layout.title()));
    updateStatus();
}

const Layout &PreviewWindow::reportLayout() const
{
    return view_->reportLayout();
}

int PreviewWindow::currentPage() const
{
    return view_->page();
}

double PreviewWindow::zoom() const
{
    return view_->zoom();
}

void PreviewWindow::updateStatus()
{
    const int pages = reportLayout().pageCount();
    pageLabel_->setText(pages == 0 ? QStringLiteral("Нет страниц")
                                    : QStringLiteral("Страница %1 из %2").arg(currentPage() + 1).arg(pages));
    zoomLabel_->setText(QStringLiteral("Масштаб %1%").arg(qRound(zoom() * 100)));
    const bool notFirst = currentPage() > 0, notLast = currentPage() + 1 < pages;
    for (QAction *a : std::as_const(actions_)) {
        const QString n = a->objectName();
        if (n == QLatin1String("firstPage") || n == QLatin1String("previousPage"))
            a->setEnabled(notFirst);
        else if (n == QLatin1String("nextPage") || n == QLatin1String("lastPage"))
            a->setEnabled(notLast);
    }
}

void PreviewWindow::zoomToFit()
{
    view_->setZoomMode(PageView::ZoomMode::FitPage);
}

void PreviewWindow::zoomTo100()
{
    view_->setZoom(1.0);
}

void PreviewWindow::zoomToWidth()
{
    view_->setZoomMode(PageView::ZoomMode::FitWidth);
}

void PreviewWindow::firstPage()
{
    setPage(0);
}

void PreviewWindow::previousPage()
{
    setPage(currentPage() - 1);
}

void PreviewWindow::nextPage()
{
    setPage(currentPage() + 1);
}

void PreviewWindow::lastPage()
{
    setPage(reportLayout().pageCount() - 1);
}

void PreviewWindow::setPage(int page)
{
    view_->setPage(page);
}

void PreviewWindow::guarded(const std::function<void()> &operation)
{
    // Nothing may leave a slot as an exception: failures are shown here.
    try {
        operation();
    } catch (const Error &e) {
        dialogs_.error(this, e.message());
    } catch (const std::exception &e) {
        dialogs_.error(this, QString::fromUtf8(e.what()));
    }
}

void PreviewWindow::printerSetup()
{
    guarded([this] {
        // The page setup shows the report's own page, its margins included; the printer then
        // goes back to printing whole sheets, the report keeping its margins itself.
        const PageSetup page = reportLayout().pageSetup();
        printer_->setFullPage(false);
        printer_->setPageMargins(page.marginsMm, QPageLayout::Millimeter);
        const auto wholeSheets = qScopeGuard([this] {
            printer_->setFullPage(true);
            printer_->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        });
        dialogs_.pageSetup(*printer_, this);
    });
}

void PreviewWindow::print()
{
    guarded([this] {
        const Layout layout = reportLayout();
        if (layout.pageCount() == 0 || !dialogs_.print(*printer_, layout.pageCount(), this))
            return;
        int first = 0, last = layout.pageCount() - 1;
        switch (printer_->printRange()) {
        case QPrinter::PageRange:
            first = printer_->fromPage() - 1;
            last = printer_->toPage() - 1;
            break;
        case QPrinter::CurrentPage:
            first = last = currentPage();
            break;
        case QPrinter::AllPages:
        case QPrinter::Selection:
            break;
        }
        const int copies = printer_->supportsMultipleCopies() ? 1 : printer_->copyCount();
        printPages(layout, *printer_, first, last, copies);
    });
}

void PreviewWindow::save()
{
    guarded([this] {
        const QString own = reportFileFilter();
        QString filter = own;
        const QString suggested = (reportLayout().title().isEmpty() ? QStringLiteral("Отчёт") : reportLayout().title())
            + QLatin1Char('.') + QLatin1String(reportFileSuffix);
        QStringList filters{own, pdfFilter()};
        for (const SaveFormat &f : saveFormats_)
            filters << f.filter;
        QString path = dialogs_.saveFileName(this, suggested, filters, &filter);
        if (path.isEmpty())
            return;
        const QString suffix = QFileInfo(path).suffix().toLower();
        // The structure formats, named by the file's suffix or else by the filter chosen.
        for (const SaveFormat &f : saveFormats_) {
            if (suffix == f.suffix || (suffix.isEmpty() && filter == f.filter)) {
                f.write(suffix.isEmpty() ? path + QLatin1Char('.') + f.suffix : path);
                return;
            }
        }
        const bool pdf = suffix == QLatin1String("pdf") || (suffix.isEmpty() && filter == pdfFilter());
        if (suffix.isEmpty())
            path += pdf ? QStringLiteral(".pdf") : QLatin1Char('.') + QLatin1String(reportFileSuffix);
        if (pdf)
            writePdf(reportLayout(), path);
        else
            saveReportFile(reportLayout(), path);
    });
}

void PreviewWindow::load()
{
    guarded([this] {
        const QString path = dialogs_.openFileName(this, {reportFileFilter()});
        if (path.isEmpty())
            return;
        setReportLayout(loadReportFile(path));
    });
}

void PreviewWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Once on screen the frame's real size is known: the first placement is made again with it.
    if (!placedShown_ && !event->spontaneous()) {
        placedShown_ = true;
        QMetaObject::invokeMethod(this, [this] { placeOnScreen(parentWidget()); }, Qt::QueuedConnection);
    }
}

void PreviewWindow::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}

void showUntilClosed(PreviewWindow *window)
{
    QEventLoop loop;
    QObject::connect(window, &PreviewWindow::closed, &loop, &QEventLoop::quit);
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    window->show();
    loop.exec();
}

void preview(const Layout &layout, QWidget *parent)
{
    QPointer<PreviewWindow> window = new PreviewWindow(layout, parent);
    showUntilClosed(window);
    delete window.data();
}

} // namespace report

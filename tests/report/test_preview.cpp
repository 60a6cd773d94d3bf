// The preview window: tool bar, keys, status line, zoom, save and load, printing, and the
// preview call that returns when the window is closed. Dialogs are answered through the
// window's PreviewDialogs.
#include "fakedataset.h"

#include "report/cataloguereport.h"
#include "report/layoutbuilder.h"
#include "report/pageview.h"
#include "report/previewwindow.h"
#include "report/reportfile.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

using namespace report;
using reporttest::FakeCatalogue;
using reporttest::pdfPages;

namespace {

Layout catalogueOf(int tables, int fieldsEach)
{
    FakeCatalogue c;
    c.addTables(tables, fieldsEach);
    return layOut(catalogueReport(c.main, c.fields));
}

// Dialogs that fail the test if asked, unless a test answers them.
PreviewDialogs unexpectedDialogs()
{
    PreviewDialogs d;
    d.pageSetup = [](QPrinter &, QWidget *) { QTest::qFail("unexpected page setup dialog", __FILE__, __LINE__); return false; };
    d.print = [](QPrinter &, int, QWidget *) { QTest::qFail("unexpected print dialog", __FILE__, __LINE__); return false; };
    d.saveFileName = [](QWidget *, const QString &, const QStringList &, QString *) { QTest::qFail("unexpected save dialog", __FILE__, __LINE__); return QString(); };
    d.openFileName = [](QWidget *, const QStringList &) { QTest::qFail("unexpected open dialog", __FILE__, __LINE__); return QString(); };
    d.error = [](QWidget *, const QString &m) { QTest::qFail(qPrintable("unexpected error: " + m), __FILE__, __LINE__); };
    return d;
}

// The page numbers a PDF's pages show in their footers ("Страница: N"), read with pdftotext.
QList<int> printedPageNumbers(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {-1};
    QList<int> out;
    static const QRegularExpression number(QStringLiteral("Страница:\\s*(\\d+)"));
    for (const QString &page : QString::fromUtf8(p.readAllStandardOutput()).split(u'\f', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = number.match(page);
        out << (m.hasMatch() ? m.captured(1).toInt() : 0);
    }
    return out;
}

// The page view, and what the status line says of the page ("Страница 3 из 5") and the zoom.
PageView *pageView(const PreviewWindow &w)
{
    return w.findChild<PageView *>();
}

QString statusText(const PreviewWindow &w, const char *label)
{
    const auto *l = w.findChild<QLabel *>(QString::fromLatin1(label));
    return l ? l->text() : QStringLiteral("(no %1)").arg(QString::fromLatin1(label));
}

QString pageStatusText(const PreviewWindow &w) { return statusText(w, "pageStatus"); }
QString zoomStatusText(const PreviewWindow &w) { return statusText(w, "zoomStatus"); }

} // namespace

class PreviewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        layout_ = catalogueOf(12, 10);     // 5 pages
        QCOMPARE(layout_.pageCount(), 5);
    }

    void toolBarInOrderWithIconsAndRussianTips()
    {
        PreviewWindow w(layout_);
        const QStringList tips = {"По размеру окна", "Масштаб 100%", "По ширине страницы", "Первая страница",
                                  "Предыдущая страница", "Следующая страница", "Последняя страница",
                                  "Настройка принтера", "Печать", "Сохранить", "Открыть", "Закрыть"};
        QStringList actual;
        const QList<QAction *> onBar = w.findChild<QToolBar *>(QStringLiteral("previewToolBar"))->actions();
        for (QAction *a : onBar) {
            if (a->isSeparator())
                continue;
            actual << a->toolTip();
            QVERIFY2(!a->icon().isNull(), qPrintable(a->toolTip()));
        }
        QCOMPARE(actual, tips);
    }

    void keysTurnPagesAndClose_data()
    {
        QTest::addColumn<QKeyCombination>("key");
        QTest::addColumn<int>("expectedPage");      // -1: the window closes
        QTest::newRow("PgDn") << QKeyCombination(Qt::Key_PageDown) << 2;
        QTest::newRow("PgUp") << QKeyCombination(Qt::Key_PageUp) << 0;
        QTest::newRow("Home") << QKeyCombination(Qt::Key_Home) << 0;
        QTest::newRow("End") << QKeyCombination(Qt::Key_End) << 4;
        QTest::newRow("Esc") << QKeyCombination(Qt::Key_Escape) << -1;
        QTest::newRow("Ctrl+W") << QKeyCombination(Qt::ControlModifier, Qt::Key_W) << -1;
    }

    void keysTurnPagesAndClose()
    {
        QFETCH(QKeyCombination, key);
        QFETCH(int, expectedPage);
        PreviewWindow w(layout_);
        w.setDialogs(unexpectedDialogs());
        QSignalSpy closed(&w, &PreviewWindow::closed);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.setPage(1);
        QTest::keyClick(pageView(w), key.key(), key.keyboardModifiers());
        if (expectedPage < 0) {
            QCOMPARE(closed.count(), 1);
            QVERIFY(!w.isVisible());
        } else {
            QCOMPARE(w.currentPage(), expectedPage);
            QVERIFY(w.isVisible());
        }
    }

    void statusLineShowsPageAndZoom()
    {
        PreviewWindow w(layout_);
        w.show();
        QCOMPARE(pageStatusText(w), QStringLiteral("Страница 1 из 5"));
        w.nextPage();
        w.nextPage();
        QCOMPARE(pageStatusText(w), QStringLiteral("Страница 3 из 5"));
        w.lastPage();
        w.nextPage();       // past the end: stays
        QCOMPARE(pageStatusText(w), QStringLiteral("Страница 5 из 5"));
        w.zoomTo100();
        QCOMPARE(zoomStatusText(w), QStringLiteral("Масштаб 100%"));
    }

    void zoomModes()
    {
        PreviewWindow w(layout_);
        w.resize(800, 700);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        PageView *view = pageView(w);
        const QRect viewport = view->viewport()->rect();

        w.zoomToFit();
        QVERIFY(QRectF(viewport).contains(view->pageRect()));
        QVERIFY(w.zoom() < 1.0);

        w.zoomToWidth();
        QVERIFY(qAbs(view->pageRect().width() - (view->viewport()->width() - 24)) <= 1.0);

        w.zoomTo100();
        QCOMPARE(w.zoom(), 1.0);
        QVERIFY(qAbs(view->pageRect().width() - 210 / 25.4 * view->logicalDpiX()) <= 1.0);
        QCOMPARE(zoomStatusText(w), QStringLiteral("Масштаб 100%"));
    }

    void saveAsPdfOrReportFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("pdfFilter");
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("pdf");
        QTest::newRow("pdf by extension") << "a.pdf" << false << "a.pdf" << true;
        QTest::newRow("report file by extension") << "b.zrep" << true << "b.zrep" << false;
        QTest::newRow("pdf by filter") << "c" << true << "c.pdf" << true;
        QTest::newRow("report file by filter") << "d" << false << "d.zrep" << false;
    }

    void saveAsPdfOrReportFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, pdfFilter);
        QFETCH(QString, written);
        QFETCH(bool, pdf);
        QTemporaryDir dir;
        PreviewWindow w(layout_);
        PreviewDialogs d = unexpectedDialogs();
        QStringList offered;
        d.saveFileName = [&](QWidget *, const QString &, const QStringList &filters, QString *filter) {
            offered = filters;
            *filter = filters.at(pdfFilter ? 1 : 0);
            return dir.filePath(name);
        };
        w.setDialogs(d);
        w.save();
        QCOMPARE(offered, QStringList({reportFileFilter(), QStringLiteral("Документ PDF (*.pdf)")}));
        const QString path = dir.filePath(written);
        QVERIFY2(QFile::exists(path), qPrintable(path));
        if (pdf)
            QCOMPARE(pdfPages(path), 5);
        else
            QCOMPARE(loadReportFile(path).pageCount(), 5);
    }

    // Further formats: offered after the report file and PDF, chosen by the name's suffix or,
    // without one, by the filter; a failing writer shows its error.
    void saveInFurtherFormats()
    {
        QTemporaryDir dir;
        PreviewWindow w(layout_);
        QStringList written;
        w.setSaveFormats({{QStringLiteral("Структура: JSON (*.json)"), QStringLiteral("json"),
                           [&](const QString &path) { written << QStringLiteral("json ") + path; }},
                          {QStringLiteral("Структура: CSV (*.csv)"), QStringLiteral("csv"),
                           [&](const QString &path) {
                               written << QStringLiteral("csv ") + path;
                               throw std::runtime_error("Файл «x.csv»: не удаётся записать: нет места на диске");
                           }}});
        PreviewDialogs d = unexpectedDialogs();
        QStringList offered, errors;
        QString name, chosen;
        d.saveFileName = [&](QWidget *, const QString &, const QStringList &filters, QString *filter) {
            offered = filters;
            *filter = chosen;
            return dir.filePath(name);
        };
        d.error = [&](QWidget *, const QString &message) { errors << message; };
        w.setDialogs(d);
        name = QStringLiteral("a.json");
        chosen = reportFileFilter();
        w.save();
        name = QStringLiteral("b");
        chosen = QStringLiteral("Структура: JSON (*.json)");
        w.save();
        name = QStringLiteral("c.csv");
        w.save();
        QCOMPARE(offered, QStringList({reportFileFilter(), QStringLiteral("Документ PDF (*.pdf)"),
                                       QStringLiteral("Структура: JSON (*.json)"), QStringLiteral("Структура: CSV (*.csv)")}));
        QCOMPARE(written, QStringList({"json " + dir.filePath("a.json"), "json " + dir.filePath("b.json"),
                                       "csv " + dir.filePath("c.csv")}));
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors[0].contains(QStringLiteral("нет места на диске")));
        QVERIFY(!QFile::exists(dir.filePath("a.zrep")));
    }

    void loadOpensAReportFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("один.zrep"));
        saveReportFile(catalogueOf(1, 2), path);
        PreviewWindow w(layout_);
        PreviewDialogs d = unexpectedDialogs();
        d.openFileName = [&](QWidget *, const QStringList &filters) {
            return filters == QStringList{reportFileFilter()} ? path : QString();
        };
        w.setDialogs(d);
        w.lastPage();
        w.load();
        QCOMPARE(w.reportLayout().pageCount(), 1);
        QCOMPARE(w.currentPage(), 0);
        QCOMPARE(pageStatusText(w), QStringLiteral("Страница 1 из 1"));
    }

    void loadOfAForeignFileShowsTheErrorAndKeepsThePages()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("чужой.zrep"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Not a report at all");
        f.close();
        PreviewWindow w(layout_);
        PreviewDialogs d = unexpectedDialogs();
        d.openFileName = [&](QWidget *, const QStringList &) { return path; };
        QStringList errors;
        d.error = [&](QWidget *, const QString &m) { errors << m; };
        w.setDialogs(d);
        w.load();
        QCOMPARE(errors, QStringList{QStringLiteral("Файл «%1»: это не файл отчёта Zorvik").arg(path)});
        QCOMPARE(w.reportLayout().pageCount(), 5);
    }

    void printerStartsWithOneCopyAllPagesNoDuplex()
    {
        PreviewWindow w(layout_);
        QPrinter &p = w.printer();
        QCOMPARE(p.copyCount(), 1);
        QCOMPARE(p.duplex(), QPrinter::DuplexNone);
        QCOMPARE(p.printRange(), QPrinter::AllPages);
        QVERIFY(p.fullPage());
        QCOMPARE(p.pageLayout().pageSize().id(), QPageSize::A4);
        QCOMPARE(p.pageLayout().orientation(), QPageLayout::Portrait);
        // Printer setup shows the report's own page, A4 portrait with its 10 mm margins; after it
        // the printer prints whole sheets again.
        int setups = 0;
        QPageLayout shown;
        PreviewDialogs d = unexpectedDialogs();
        d.pageSetup = [&](QPrinter &printer, QWidget *) {
            ++setups;
            shown = printer.pageLayout();
            return &printer == &w.printer();
        };
        w.setDialogs(d);
        w.printerSetup();
        QCOMPARE(setups, 1);
        QCOMPARE(shown.pageSize().id(), QPageSize::A4);
        QCOMPARE(shown.orientation(), QPageLayout::Portrait);
        QCOMPARE(shown.margins(QPageLayout::Millimeter), QMarginsF(10, 10, 10, 10));
        QVERIFY(p.fullPage());
        QCOMPARE(p.pageLayout().margins(QPageLayout::Millimeter), QMarginsF(0, 0, 0, 0));
    }

    // Printer setup where no printer is installed says so in a plain box, and nothing about
    // non-native printers reaches the terminal.
    void printerSetupWithoutAPrinter()
    {
        if (!QPrinterInfo::availablePrinterNames().isEmpty())
            QSKIP("a printer is installed here");
        PreviewWindow w(layout_);
        w.show();
        QStringList shown;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                auto *box = qobject_cast<QMessageBox *>(modal);
                shown << (box ? box->text() : QString::fromLatin1(modal->metaObject()->className()));
                if (box)
                    box->button(QMessageBox::Ok)->click();
                else
                    QMetaObject::invokeMethod(modal, "reject");
            }
        });
        closer.start(20);
        static QStringList warnings;
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) {
            warnings << m;
        });
        w.printerSetup();
        qInstallMessageHandler(previous);

        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(QStringLiteral("Принтер не установлен")), qPrintable(shown[0]));
        QVERIFY2(shown[0].contains(QStringLiteral("A4")) && shown[0].contains(QStringLiteral("10 мм")), qPrintable(shown[0]));
        for (const QString &warning : std::as_const(warnings))
            QVERIFY2(!warning.contains(QStringLiteral("non-native")), qPrintable(warning));
    }

    void printUsesTheChosenRange_data()
    {
        QTest::addColumn<int>("range");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("shown");             // the page the preview shows, from 0
        QTest::addColumn<QList<int>>("printed");    // the page numbers on the printed pages
        QTest::newRow("all") << int(QPrinter::AllPages) << 0 << 0 << 0 << QList<int>{1, 2, 3, 4, 5};
        QTest::newRow("2 to 3") << int(QPrinter::PageRange) << 2 << 3 << 0 << QList<int>{2, 3};
        QTest::newRow("current") << int(QPrinter::CurrentPage) << 0 << 0 << 3 << QList<int>{4};
    }

    void printUsesTheChosenRange()
    {
        QFETCH(int, range);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, shown);
        QFETCH(QList<int>, printed);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("printed.pdf"));
        PreviewWindow w(layout_);
        for (int i = 0; i < shown; ++i)
            w.nextPage();
        QCOMPARE(w.currentPage(), shown);
        PreviewDialogs d = unexpectedDialogs();
        d.print = [&](QPrinter &printer, int pageCount, QWidget *) {
            if (pageCount != 5)
                return false;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(path);
            printer.setPrintRange(QPrinter::PrintRange(range));
            printer.setFromTo(from, to);
            return true;
        };
        w.setDialogs(d);
        w.print();
        QCOMPARE(pdfPages(path), int(printed.size()));
        QCOMPARE(printedPageNumbers(path), printed);
    }

    void previewReturnsWhenClosedAndLeavesTheParentUsable()
    {
        QWidget main;
        QPushButton *button = new QPushButton(QStringLiteral("Ещё"), &main);
        int clicks = 0;
        connect(button, &QPushButton::clicked, [&] { ++clicks; });
        main.show();
        bool seen = false;
        QTimer::singleShot(0, [&] {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                auto *p = qobject_cast<PreviewWindow *>(top);
                if (!p || !p->isVisible())
                    continue;
                seen = true;
                QVERIFY(QApplication::activeModalWidget() == nullptr);
                QTest::mouseClick(button, Qt::LeftButton);     // the main window still answers
                QMetaObject::invokeMethod(p, "close", Qt::QueuedConnection);
            }
        });
        preview(layout_, &main);
        QVERIFY(seen);
        QCOMPARE(clicks, 1);
        for (QWidget *top : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<PreviewWindow *>(top) || !top->isVisible());
    }

    // The preview fits the available area of the main window's screen: the whole page in the
    // view, top to bottom, the window centred and never larger than the screen.
    void fitsTheScreenOfTheMainWindow()
    {
        QWidget main;
        main.setGeometry(10, 10, 300, 200);
        main.show();
        PreviewWindow w(layout_, &main);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::qWait(50);
        const QRect area = main.screen()->availableGeometry();
        const QRect frame = w.frameGeometry();

        QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height())));
        QVERIFY(qAbs(frame.center().x() - area.center().x()) <= 1);
        QVERIFY(qAbs(frame.center().y() - area.center().y()) <= 1);
        QVERIFY(frame.height() >= area.height() - 1);     // as high as the screen allows
        // The page fills the view's height and all of it is shown.
        const QRectF page = pageView(w)->pageRect();
        const QRect viewport = pageView(w)->viewport()->rect();
        QVERIFY(viewport.contains(page.toAlignedRect().adjusted(1, 1, -1, -1)));
        QVERIFY(page.height() > viewport.height() - 30);
        QVERIFY(w.statusBar()->isVisible());
        QVERIFY(frame.contains(w.statusBar()->mapToGlobal(w.statusBar()->rect().bottomRight())));
    }

    void thousandsOfPagesOpenAndJumpToTheLast()
    {
        const Layout big = catalogueOf(9000, 8);
        QVERIFY(big.pageCount() > 2000);
        PreviewWindow w(big);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.lastPage();
        QCOMPARE(w.currentPage(), big.pageCount() - 1);
        QCOMPARE(pageStatusText(w), QStringLiteral("Страница %1 из %1").arg(big.pageCount()));
        pageView(w)->viewport()->repaint();
    }

private:
    Layout layout_;
};

QTEST_MAIN(PreviewTest)
#include "test_preview.moc"

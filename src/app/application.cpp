#include "app/application.h"

#include "app/dialogs.h"
#include "app/zorviewform.h"
#include "report/pdfwriter.h"

#include <QPushButton>

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdlib>

namespace app {

QLocale userLocale()
{
    const QLocale system = QLocale::system();
    return system.language() == QLocale::C ? QLocale(QLocale::Russian, QLocale::Russia) : system;
}

bool installQtTranslations()
{
    // Qt's catalogues where the library was installed, or beside the program where it was
    // deployed with its own copy of Qt.
    const QStringList folders{QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                              QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
    auto *translator = new QTranslator(QCoreApplication::instance());
    for (const QString &folder : folders)
        if (translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"), folder))
            return QCoreApplication::installTranslator(translator);
    delete translator;
    return false;
}

namespace {

// The dialogs of a run without a window: the report is written to a PDF file, everything the
// boxes would show goes to the error stream.
class PdfDialogs final : public Dialogs {
public:
    PdfDialogs(const QString &pdf, QTextStream &errors) : pdf_(pdf), errors_(errors) {}
    bool failed = false;

    QStringList openFiles(QWidget *, const OpenDialog &) override { return {}; }
    void message(QWidget *, const QString &text) override { say(text); }
    void error(QWidget *, const QString &text) override { say(text); }
    void preview(QWidget *, const report::Layout &layout) override
    {
        try {
            report::writePdf(layout, pdf_);
        } catch (const std::exception &e) {
            say(withFullStop(QString::fromUtf8(e.what())));
        }
    }
    void closePreview() override {}

private:
    void say(const QString &text)
    {
        failed = true;
        errors_ << text << Qt::endl;
    }
    QString pdf_;
    QTextStream &errors_;
};

} // namespace

int exportPdf(const QString &pdf, const QStringList &files, QTextStream &errors)
{
    PdfDialogs dialogs(pdf, errors);
    try {
        TZORViewForm ZORViewForm(dialogs, files);
        if (ZORViewForm.terminateRequested())
            return EXIT_FAILURE;
        ZORViewForm.Button3->click();
    } catch (...) {
        errors << errorText(std::current_exception()) << Qt::endl;
        return EXIT_FAILURE;
    }
    return dialogs.failed ? EXIT_FAILURE : EXIT_SUCCESS;
}

int run(const QStringList &files, Dialogs &dialogs)
{
    try {
        TZORViewForm ZORViewForm(dialogs, files);
        if (ZORViewForm.terminateRequested())
            return EXIT_FAILURE;
        ZORViewForm.show();
        return QApplication::exec();
    } catch (...) {
        // Only the start-up can get here: handlers are guarded where they are connected.
        dialogs.error(nullptr, errorText(std::current_exception()));
        return EXIT_FAILURE;
    }
}

} // namespace app

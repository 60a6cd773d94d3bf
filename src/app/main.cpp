// zorvik: documents the structure of dBASE and Paradox tables.
#include "app/application.h"
#include "app/commandline.h"
#include "app/dialogs.h"
#include "app/headless.h"
#include "app/records.h"
#include "app/structureexport.h"
#include "app/version.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <optional>

namespace {

QStringList rawArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

int print(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return 0;
}

void setNames()
{
    QCoreApplication::setApplicationName(QString::fromUtf8(app::version::applicationTitle));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(app::version::productVersion));
}

// The headless export needs text metrics, not a window: a GUI application without widgets, on the
// display if there is one, else on Qt's offscreen platform.
int exportWithoutWindow(int argc, char *argv[])
{
    std::optional<QTemporaryDir> runtime; // outlives the application
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a desktop session Qt would warn on standard error, which is the export's own:
    // a runtime folder of the export's own (owner only), removed when it ends.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        runtime.emplace(QDir::tempPath() + QStringLiteral("/runtime-zorvik-XXXXXX"));
        if (runtime->isValid())
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime->path()));
    }
#endif
    QGuiApplication application(argc, argv);
    setNames();
    // Arguments again, now without those Qt took for itself (-platform ...).
    const app::CommandLine line = app::parseCommandLine(QGuiApplication::arguments().mid(1));
    QTextStream errors(stderr);
    if (line.action == app::CommandLine::ExportStructure)
        return app::exportStructure(line.exportFile, line.files, line.codePages, errors);
    return app::exportPdf(line.pdf, line.files, errors, line.codePages);
}

} // namespace

int main(int argc, char *argv[])
{
    // Help and the version need no display, so they are answered before the GUI starts.
    const app::CommandLine request = app::parseCommandLine(rawArguments(argc, argv));
    if (request.action == app::CommandLine::Help)
        return print(app::helpText());
    if (request.action == app::CommandLine::Version)
        return print(app::versionText());
    if (request.action == app::CommandLine::Invalid) {
        std::fprintf(stderr, "zorvik: %s\n", request.problem.toLocal8Bit().constData());
        return 2;
    }
    // The window is laid out in pixels and is not rescaled for the screen's resolution.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    // Records out need neither the catalogue nor a display.
    if (request.action == app::CommandLine::ExportCsv) {
        QTextStream errors(stderr);
        return app::exportCsv(request.csv, request.files.first(), errors);
    }
    if (request.action == app::CommandLine::ExportPdf || request.action == app::CommandLine::ExportStructure)
        return exportWithoutWindow(argc, argv);

    QApplication application(argc, argv);
    setNames();
    // The desktop entry the window belongs to (its icon and name in a Wayland session's panel).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.zorvik"));
    app::installQtTranslations();
    // Arguments again, now without those the GUI took for itself (-platform, -style ...).
    const app::CommandLine line = app::parseCommandLine(QApplication::arguments().mid(1));
    app::QtDialogs dialogs;
    return app::run(line.files, dialogs, line.codePages, line.open);
}

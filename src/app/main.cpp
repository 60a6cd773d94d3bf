// zorvik: documents the structure of dBASE and Paradox tables.
#include "app/application.h"
#include "app/commandline.h"
#include "app/dialogs.h"
#include "app/version.h"

#include <QApplication>

#include <cstdio>

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

} // namespace

int main(int argc, char *argv[])
{
    // Help and the version need no display, so they are answered before the GUI starts.
    const app::CommandLine request = app::parseCommandLine(rawArguments(argc, argv));
    if (request.action == app::CommandLine::Help)
        return print(app::helpText());
    if (request.action == app::CommandLine::Version)
        return print(app::versionText());

    // The window is laid out in pixels and is not rescaled for the screen's resolution.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(app::version::applicationTitle));
    QApplication::setApplicationVersion(QString::fromUtf8(app::version::productVersion));

    // Arguments again, now without those the GUI took for itself (-platform, -style ...).
    app::QtDialogs dialogs;
    return app::run(app::parseCommandLine(QApplication::arguments().mid(1)).files, dialogs);
}

#include "app/application.h"

#include "app/dialogs.h"
#include "app/folderintake.h"
#include "app/zorviewform.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QDir>

#include <cstdlib>
#include <functional>

namespace app {

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

int run(const QStringList &files, Dialogs &dialogs, const QList<int> &codePages, bool openWith)
{
    try {
        // Folders named are searched before the window opens; a cancelled search lists nothing.
        IntakeProgress progress(nullptr);
        const selection::Intake intake = selection::expandPaths(toPaths(files), std::ref(progress));
        QList<int> chosen;
        for (size_t from : intake.named)
            chosen << (qsizetype(from) < codePages.size() ? codePages[qsizetype(from)] : 0);
        chooseCodePages(fromPaths(intake.paths), chosen);
        const QStringList found = intake.cancelled ? QStringList() : fromPaths(intake.paths);
        TZORViewForm ZORViewForm(dialogs, openWith ? QStringList() : found);
        if (ZORViewForm.terminateRequested())
            return EXIT_FAILURE;
        if (openWith)
            ZORViewForm.openWith(found);
        ZORViewForm.show();
        if (!intake.notes.empty())
            dialogs.message(&ZORViewForm, selection::intakeSummary(intake));
        return QApplication::exec();
    } catch (...) {
        // Only the start-up can get here: handlers are guarded where they are connected.
        dialogs.error(nullptr, errorText(std::current_exception()));
        return EXIT_FAILURE;
    }
}

void chooseCodePages(const QStringList &files, const QList<int> &codePages)
{
    for (qsizetype i = 0; i < files.size() && i < codePages.size(); ++i)
        if (codePages[i] != 0)
            CodePageChoices[QDir::toNativeSeparators(files[i]).toStdString()] = codePages[i];
}

} // namespace app

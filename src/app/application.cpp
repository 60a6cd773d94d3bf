#include "app/application.h"

#include "app/dialogs.h"
#include "app/zorviewform.h"

#include <QApplication>

#include <cstdlib>

namespace app {

QLocale userLocale()
{
    const QLocale system = QLocale::system();
    return system.language() == QLocale::C ? QLocale(QLocale::Russian, QLocale::Russia) : system;
}

int run(const QStringList &files, Dialogs &dialogs)
{
    try {
        TZORViewForm ZORViewForm(dialogs, files);
        if (!ZORViewForm.terminateRequested())
            ZORViewForm.show();
        return QApplication::exec();
    } catch (...) {
        // Only the start-up can get here: handlers are guarded where they are connected.
        dialogs.error(nullptr, errorText(std::current_exception()));
        return EXIT_FAILURE;
    }
}

} // namespace app

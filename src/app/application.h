#pragma once
#include <QLocale>
#include <QStringList>

namespace app {

// The locale values are shown in: the system's, or Russian where the system names none (the
// "C" locale of a bare session), since the whole interface is Russian.
QLocale userLocale();

class Dialogs;

// The application's run: creates the main window ZORViewForm (which runs the start-up with
// `files`), shows it unless the start-up asked to end, and runs the message loop. Returns the
// exit status: 0 after Exit, non-zero when the start-up failed. A QApplication must exist.
int run(const QStringList &files, Dialogs &dialogs);

} // namespace app

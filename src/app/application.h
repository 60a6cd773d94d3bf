#pragma once
#include <QStringList>

namespace app {

class Dialogs;

// The application's run: creates the main window ZORViewForm (which runs the start-up with
// `files`), shows it unless the start-up asked to end, and runs the message loop. Returns the
// exit status: 0 after Exit, non-zero when the start-up failed. A QApplication must exist.
int run(const QStringList &files, Dialogs &dialogs);

} // namespace app

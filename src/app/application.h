#pragma once
#include <QStringList>

namespace app {

// Loads Qt's own Russian texts (standard dialogs, buttons, messages) from the Qt library's
// translations, so that the file, print and page setup dialogs speak the program's language.
// Returns false when they are not installed; the dialogs then stay in English.
bool installQtTranslations();

class Dialogs;

// The code pages the command line chose (`codePages[i]` for `files[i]`, 0 for none) become the
// pick list entries' choices for the session.
void chooseCodePages(const QStringList &files, const QList<int> &codePages);

// The application's run: creates the main window ZORViewForm (which runs the start-up with
// `files`), shows it unless the start-up asked to end, and runs the message loop. Returns the
// exit status: 0 after Exit, non-zero when the start-up failed. A QApplication must exist.
// Folders among `files` are searched; `codePages[i]` is the code page chosen for `files[i]`
// (0: none) and holds for every table found for it.
// With `openWith` the files come from the desktop ("Open with") and are listed as a confirmed Add.
int run(const QStringList &files, Dialogs &dialogs, const QList<int> &codePages = {}, bool openWith = false);

} // namespace app

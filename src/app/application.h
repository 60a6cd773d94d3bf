#pragma once
#include <QLocale>
#include <QStringList>
#include <QTextStream>

namespace app {

// The locale values are shown in: the system's, or Russian where the system names none (the
// "C" locale of a bare session), since the whole interface is Russian.
QLocale userLocale();

// Loads Qt's own Russian texts (standard dialogs, buttons, messages) from the Qt library's
// translations, so that the file, print and page setup dialogs speak the program's language.
// Returns false when they are not installed; the dialogs then stay in English.
bool installQtTranslations();

class Dialogs;

// The application's run: creates the main window ZORViewForm (which runs the start-up with
// `files`), shows it unless the start-up asked to end, and runs the message loop. Returns the
// exit status: 0 after Exit, non-zero when the start-up failed. A QApplication must exist.
int run(const QStringList &files, Dialogs &dialogs);

// The same start-up and Do it without showing anything: the report goes to `pdf`, messages and
// errors (in the words the boxes would show) to `errors`. Returns 0 on success, non-zero when the
// catalogue could not be opened or a table could not be read or the PDF could not be written.
int exportPdf(const QString &pdf, const QStringList &files, QTextStream &errors);

} // namespace app

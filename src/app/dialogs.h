#pragma once
// The window's file dialog and message boxes, reached through one interface so that tests can
// answer them. QtDialogs is the real thing.
#include "report/saveformat.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "report/error.h"

class QWidget;

namespace report {
class Layout;
class PreviewWindow;
} // namespace report

namespace app {

// Settings of the open-file dialog (the window's OpenDialog1). The dialog always lets the user
// choose several files and accepts only files that exist; it has no read-only check box.
struct OpenDialog {
    QString Title;
    // Description and pattern pairs separated by vertical bars ("DBF files|*.dbf|All|*.*");
    // the dialog shows the descriptions as they stand and selects the first.
    QString Filter;
    QString DefaultExt;     // appended to a typed name that has no extension
};

// The pairs of a Filter as Qt name filters, "description (patterns)", for a dialog that hides
// the patterns; a pattern may list several, separated by ';'.
QStringList nameFilters(const QString &filter);

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Runs the dialog. Returns the chosen files, in the order the dialog gives them, or an
    // empty list when the user cancels.
    virtual QStringList openFiles(QWidget *parent, const OpenDialog &dialog) = 0;
    // A plain message box: the text, an OK button, the application title.
    virtual void message(QWidget *parent, const QString &text) = 0;
    // The error box: the text as given, an OK button, the error icon, the application title.
    virtual void error(QWidget *parent, const QString &text) = 0;
    // The report preview: shows the laid-out report in its own window (not modal) and returns
    // when the user has closed it.
    virtual void preview(QWidget *parent, const report::Layout &layout) = 0;
    // Closes the preview that is open, if any; its preview() call then returns.
    virtual void closePreview() = 0;
    // A folder dialog titled `title`: the chosen folder, or empty when the user cancels.
    virtual QString openFolder(QWidget *parent, const QString &title);
    // A save dialog titled `title` offering `suggested`: the file to write, or empty on cancel.
    virtual QString saveFile(QWidget *parent, const QString &title, const QString &filter, const QString &suggested);
    // Formats the next preview's Save offers beside the report file and PDF.
    virtual void setSaveFormats(const QList<report::SaveFormat> &formats) { (void)formats; }
};

class QtDialogs final : public Dialogs {
public:
    QStringList openFiles(QWidget *parent, const OpenDialog &dialog) override;
    void message(QWidget *parent, const QString &text) override;
    void error(QWidget *parent, const QString &text) override;
    void preview(QWidget *parent, const report::Layout &layout) override;
    void closePreview() override;
    QString openFolder(QWidget *parent, const QString &title) override;
    QString saveFile(QWidget *parent, const QString &title, const QString &filter, const QString &suggested) override;
    void setSaveFormats(const QList<report::SaveFormat> &formats) override;

private:
    QPointer<report::PreviewWindow> preview_;
    QList<report::SaveFormat> saveFormats_;
};

// The text the error box shows for a failure, and the full stop rule (see report/error.h).
using report::errorText;
using report::withFullStop;

} // namespace app

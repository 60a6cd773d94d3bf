#pragma once
// Runs without a window: what the start-up and Do it do, with the report written to a file
// instead of previewed. Needs a QGuiApplication (for text metrics), no widgets.
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include "catalogue/catalogue.h"

#include <string>
#include <vector>

namespace app {

// The catalogue's messages, as the boxes would say them, on the error stream.
class ErrorStreamHost final : public catalogue::Host {
public:
    explicit ErrorStreamHost(QTextStream &errors) : errors_(errors) {}
    void showMessage(const std::string &text) override { errors_ << QString::fromStdString(text) << Qt::endl; }
    void terminate() override {}

private:
    QTextStream &errors_;
};

// The tables named on a command line as a pick list: folders are searched (what was skipped is
// said on `errors`), and every table found keeps the code page chosen for the name it came from.
struct NamedTables {
    std::vector<std::string> NameList, PathList;
    std::vector<int> codePages;     // for each entry; 0: as the table says
    int codePageOf(size_t i) const { return i < codePages.size() ? codePages[i] : 0; }
};
NamedTables namedTables(const QStringList &files, const QList<int> &codePages, QTextStream &errors);

// The start-up (the catalogue opened and emptied, `files` on a pick list of its own) and Do it,
// the report going to the PDF file `pdf`; messages and errors go to `errors` in the words the
// boxes would show. Returns 0 on success, non-zero when the catalogue could not be opened, a
// table could not be read or the PDF could not be written.
// `codePages[i]`, when given, is the code page chosen for `files[i]` (0: as the table says).
int exportPdf(const QString &pdf, const QStringList &files, QTextStream &errors, const QList<int> &codePages = {});

} // namespace app

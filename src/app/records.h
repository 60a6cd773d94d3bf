#pragma once
// Records of one table out to CSV: the grid's «Сохранить записи в CSV…» and `zorvik --csv`.
#include "selection/csvexport.h"

#include <QElapsedTimer>
#include <QString>
#include <QTextStream>

#include <memory>

class QProgressDialog;
class QWidget;

namespace tables {
class Table;
}

namespace app {

// Exit status of `--csv` when the file was written but some values or records could not be
// read (a missing memo file, a record area cut short); they are left out or empty.
inline constexpr int kCsvIncomplete = 3;

// zorvik --csv OUT TABLE: the table opened as View opens it (the kind from its extension, else
// from its header), every live record written to OUT. Needs neither the catalogue nor a
// display. What went wrong goes to `errors`. Returns 0, kCsvIncomplete, or 1 when the table
// could not be opened or OUT not written (an older OUT is then left as it was).
int exportCsv(const QString &csv, const QString &table, QTextStream &errors);

// What the user is told when not every value could be written, or empty when all were.
QString csvProblemText(const selection::CsvResult &result);

// Progress of a save from the grid: nothing within half a second, then a modal window with
// the records written so far and a Cancel button.
class CsvProgressWindow {
public:
    explicit CsvProgressWindow(QWidget *parent);
    ~CsvProgressWindow();
    CsvProgressWindow(const CsvProgressWindow &) = delete;
    CsvProgressWindow &operator=(const CsvProgressWindow &) = delete;
    bool operator()(int64_t done, int64_t total);

private:
    QWidget *parent_;
    QElapsedTimer clock_;
    std::unique_ptr<QProgressDialog> dialog_;
};

// The file the save dialog offers for a table: its name with ".csv", in its folder.
QString suggestedCsvName(const tables::Table &table);

} // namespace app

#pragma once
// Records leaving the program: every live record of a table as CSV, and cells for the
// clipboard, in a neutral form that other programs read without knowing our locale. Cells are
// decoded as the grid decodes them; only their text differs:
//
//   Null               empty
//   Text               as decoded, UTF-8 (BCD digits with a dot)
//   Integer            digits: -1234
//   Number             with a dot and the field's decimals (12.50), no digits beyond the
//                      double's own; the shortest exact form when the field has none (-3.25);
//                      very large or small numbers as 1e+100
//   Currency           with a dot and its stored decimals, at least two: 1234.56, 12.3456
//   Boolean            true / false
//   Date               ISO 8601: 2024-03-15
//   Time               ISO 8601: 13:45:30, with milliseconds when there are any (13:45:30.250)
//   DateTime           ISO 8601: 2024-03-15T13:45:30
//   Memo               the whole text (not cut to the grid's first line)
//   Binary             its bytes in hexadecimal, lower case; a memo holding NUL bytes (a
//                      formatted memo's layout) likewise
//   Missing            empty; the writer reports why (a missing or damaged memo file ...)
//   a date or time out of range: empty, reported like a missing value
#include "tables/fielddef.h"
#include "tables/value.h"

#include <QModelIndexList>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QIODevice;

namespace tables {
class RecordSource;
}

namespace selection {

// Appends the neutral text of `value` to `out` (UTF-8). False when the value could not be
// given (Missing, a date out of range): `out` then gets nothing.
bool appendNeutral(std::string &out, const tables::Value &value);

// Appends `text` as one CSV field (RFC 4180): quoted when it holds a comma, a quote, a CR or
// an LF, or begins or ends with a blank; quotes inside doubled.
void appendCsvField(std::string &out, std::string_view text);

struct CsvResult {
    int64_t records = 0;        // records written
    int64_t unreadable = 0;     // cells left empty because they could not be read
    std::string problem;        // the first thing that went wrong, for the user; empty when none
    bool cancelled = false;     // the progress callback said stop: the output is incomplete
};

// Called now and then with the records done and the records in all; false cancels.
using CsvProgress = std::function<bool(int64_t done, int64_t total)>;

// Writes the table as CSV to `out`: the UTF-8 byte order mark (so spreadsheet programs read
// Cyrillic right), a line of field names, then one line per live record in record order,
// deleted records left out; lines end in CR LF. A record area that cannot be read further
// ends the output at the last whole record (`problem` says why). Throws tables::Error when
// `out` cannot be written.
CsvResult writeCsv(const tables::RecordSource &source, QIODevice &out, const CsvProgress &progress = {});

// The same into the file `path`, written beside it and renamed when whole: a failed or
// cancelled write leaves no file, and an older one as it was. Throws tables::Error naming the
// file when it cannot be written.
CsvResult saveCsv(const tables::RecordSource &source, const QString &path, const CsvProgress &progress = {});

// Rows of cell texts as tab-separated lines (for the clipboard): tabs and line ends inside a
// cell become blanks; lines end in LF.
QString tabSeparated(const std::vector<std::vector<QString>> &rows);

class TableModel;

// The cells `selected` of the grid's model in the neutral form, tab-separated: the rows and
// columns the selection spans, in the grid's order; cells among them not selected stay empty.
// Empty when nothing is selected or the model shows no table.
QString copiedCells(const TableModel &model, const QModelIndexList &selected);

} // namespace selection

#pragma once
// The text the grid shows for one cell of a table.
//
//   Null                  empty
//   Text                  as decoded by the engine (trailing blanks already removed); BCD digits
//                         as stored, with the locale's decimal point
//   Integer               digits, no group separators: 123456789, -1234
//   Number                with the field's decimals (12,50; no digits beyond the double's own:
//                         1,234567890123460000), or the shortest exact form when the value
//                         carries none (-3,25; 10000000000; 1E+100 for very large or small)
//   Currency              two decimals, no currency symbol (the table does not say which
//                         currency it holds): 1234,56
//   Boolean               "Да" / "Нет"
//   Date                  the locale's short date format (ru: 15.03.2024)
//   Time                  the locale's time format with seconds, without a time zone (13:45:30)
//   DateTime              date, a blank, time
//   Memo (or memo field)  its first non-blank line, trimmed, control characters blanked, at most
//                         255 characters; "…" when more text follows; a memo holding NUL bytes
//                         (a formatted memo's layout) shows as a marker "(FmtMemo, 169 байт)"
//   Binary                a marker with the kind and size: "(BLOB, 1 234 байт)", "(Graphic, …)",
//                         "(OLE, …)", "(Bytes, …)", "(Memo, …)"; the size grouped as the locale groups numbers
//   Missing               the reason in brackets: "(нет файла примечаний .dbt)"
//
// Numbers use the given locale's decimal point and minus sign; QLocale::system() by default.
#include "tables/fielddef.h"
#include "tables/value.h"

#include <QLocale>
#include <QString>

namespace selection {

class ValueFormatter {
public:
    explicit ValueFormatter(const QLocale &locale = QLocale::system());

    QString format(const tables::Value &value, const tables::FieldDef &field) const;

private:
    QString number(double value, int decimals) const;
    QString date(int64_t day) const;
    QString time(int64_t ms) const;
    QString binary(const tables::FieldDef &field, int64_t size) const;
    QString memo(const tables::Value &value, const tables::FieldDef &field) const;

    QLocale plain_;    // numbers: no group separators
    QLocale grouped_;  // sizes in markers
    QString timeFormat_;
};

// Numbers right, everything else left, as data grids align them.
Qt::Alignment alignmentOf(const tables::FieldDef &field);

// The number of characters a field's values take in the grid: a text field's size, a number's
// width with its sign and decimals, a date's 10, and so on; a grid opens its column this wide.
int displayWidth(const tables::FieldDef &field);

// "байт" with the Russian plural form for `n`: 1 байт, 2 байта, 5 байт, 21 байт, 22 байта.
QString bytesWord(int64_t n);

} // namespace selection

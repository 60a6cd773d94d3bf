#pragma once
// How system values are printed.
#include <QDateTime>
#include <QLocale>
#include <QString>

namespace report {

// The locale's short date, a blank and its long time (without a time zone); only the date when
// the time is exactly midnight.
QString printedDateTimeText(const QDateTime &when, const QLocale &locale = QLocale::system());

} // namespace report

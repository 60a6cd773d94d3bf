#include "formats.h"

namespace report {

// Qt's long time formats end in a time zone ("HH:mm:ss t"); a printed report shows the clock
// time only, so the zone letters outside quotes are dropped with the blanks before them.
static QString withoutTimeZone(const QString &format)
{
    QString result;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) {
            while (result.endsWith(QLatin1Char(' ')))
                result.chop(1);
            continue;
        }
        result += c;
    }
    return result.trimmed();
}

QString printedDateTimeText(const QDateTime &when, const QLocale &locale)
{
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(when.time(), withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}

} // namespace report

#include "valueformatter.h"

#include <algorithm>

#include <QDate>
#include <QTime>

#include <cmath>

namespace selection {

using tables::FieldDef;
using tables::Value;

namespace {

using tables::kDayMs;
using tables::kJulianDayOfDayZero;
constexpr int64_t kLastDay = 3652059;          // day number of 9999-12-31
constexpr int kMemoChars = 255;

// The locale's long time format without its time-zone part: a stored time has no zone, and the
// short format drops the seconds a time field keeps. Quoted literal text is left alone.
QString timeFormatOf(const QLocale &locale)
{
    const QString in = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (QChar c : in) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        out += c;
    }
    out.replace(QStringLiteral("()"), QString());
    return out.simplified();
}

// Control characters (other than line ends) would show as boxes or cut the text short.
QString printable(QString line)
{
    for (QChar &c : line)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    return line.trimmed();
}

QString memoLine(const QString &text)
{
    qsizetype start = 0;
    QString line;
    // First line with something on it.
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        line = printable(text.mid(start, end - start));
        start = end + 1;
        if (!line.isEmpty())
            break;
    }
    bool more = false;
    for (qsizetype i = start; i < text.size() && !more; ++i)
        more = !text[i].isSpace();
    if (line.size() > kMemoChars) {
        line.truncate(line.at(kMemoChars - 1).isHighSurrogate() ? kMemoChars - 1 : kMemoChars);
        more = true;
    }
    if (more)
        line += u'…';
    return line;
}

QString binaryKind(tables::FieldType type)
{
    switch (type) {
    case tables::ftGraphic: return QStringLiteral("Graphic");
    case tables::ftParadoxOle:
    case tables::ftDBaseOle: return QStringLiteral("OLE");
    case tables::ftBytes:
    case tables::ftVarBytes: return QStringLiteral("Bytes");
    case tables::ftMemo: return QStringLiteral("Memo");
    case tables::ftFmtMemo: return QStringLiteral("FmtMemo");
    default: return QStringLiteral("BLOB");
    }
}

} // namespace

QString bytesWord(int64_t n)
{
    n = n < 0 ? -n : n;
    const int64_t last = n % 10, lastTwo = n % 100;
    if (last >= 2 && last <= 4 && !(lastTwo >= 12 && lastTwo <= 14))
        return QStringLiteral("байта");
    return QStringLiteral("байт");
}

ValueFormatter::ValueFormatter(const QLocale &locale) : plain_(locale), grouped_(locale)
{
    plain_.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    grouped_.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    timeFormat_ = timeFormatOf(locale);
}

QString ValueFormatter::number(double value, int decimals) const
{
    if (value == 0)
        value = 0; // no "-0"
    if (!std::isfinite(value))
        return plain_.toString(value);
    const double magnitude = std::fabs(value);
    const bool plain = value == 0 || (magnitude >= 1e-5 && magnitude < 1e16);
    if (!plain)
        return plain_.toString(value, 'g', QLocale::FloatingPointShortest);
    QString text = plain_.toString(value, 'f', QLocale::FloatingPointShortest);
    if (decimals < 0)
        return text;
    // The stored decimals, but no digits beyond what the number really holds: 1.23456789012346
    // in a field of 18 decimals shows as 1,234567890123460000, not with the double's noise.
    const qsizetype point = text.indexOf(plain_.decimalPoint());
    const qsizetype have = point < 0 ? 0 : text.size() - point - plain_.decimalPoint().size();
    if (have > decimals)
        return plain_.toString(value, 'f', decimals);
    if (decimals > 0 && point < 0)
        text += plain_.decimalPoint();
    return text + QString(decimals - have, plain_.zeroDigit().at(0));
}

QString ValueFormatter::date(int64_t day) const
{
    if (day < 1 || day > kLastDay)
        return QStringLiteral("(неверная дата)");
    return plain_.toString(QDate::fromJulianDay(day + kJulianDayOfDayZero), QLocale::ShortFormat);
}

QString ValueFormatter::time(int64_t ms) const
{
    if (ms < 0 || ms >= kDayMs)
        return QStringLiteral("(неверное время)");
    return plain_.toString(QTime::fromMSecsSinceStartOfDay(int(ms)), timeFormat_);
}

QString ValueFormatter::binary(const FieldDef &field, int64_t size) const
{
    return QStringLiteral("(%1, %2 %3)").arg(binaryKind(field.type), grouped_.toString(qlonglong(size)), bytesWord(size));
}

// Memo text with NUL bytes in it is not plain text (a formatted memo's layout data): its
// size is shown instead of bytes that would read as noise (the stored size when the reader
// gives it, else the decoded text's).
QString ValueFormatter::memo(const Value &value, const FieldDef &field) const
{
    if (value.text.find('\0') != std::string::npos)
        return binary(field, value.size > 0 ? value.size : int64_t(value.text.size()));
    return memoLine(QString::fromStdString(value.text));
}

QString ValueFormatter::format(const Value &value, const FieldDef &field) const
{
    switch (value.kind) {
    case Value::Kind::Null:
        return {};
    case Value::Kind::Text: {
        if (field.type == tables::ftMemo || field.type == tables::ftFmtMemo)
            return memo(value, field);
        QString text = QString::fromStdString(value.text);
        if (field.type == tables::ftBCD)
            text.replace(u'.', plain_.decimalPoint()).replace(u'-', plain_.negativeSign());
        return text;
    }
    case Value::Kind::Integer:
        return plain_.toString(qlonglong(value.integer));
    case Value::Kind::Number:
        return number(value.number, value.decimals);
    case Value::Kind::Currency:
        return number(value.number, 2);
    case Value::Kind::Boolean:
        return value.integer ? QStringLiteral("Да") : QStringLiteral("Нет");
    case Value::Kind::Date:
        return date(value.integer);
    case Value::Kind::Time:
        return time(value.integer);
    case Value::Kind::DateTime:
        return date(value.integer) + u' ' + time(value.ms);
    case Value::Kind::Binary:
        return binary(field, value.size);
    case Value::Kind::Memo:
        return memo(value, field);
    case Value::Kind::Missing:
        return u'(' + (value.text.empty() ? QStringLiteral("значение не прочитано") : QString::fromStdString(value.text)) + u')';
    }
    return {};
}

int displayWidth(const FieldDef &field)
{
    switch (field.type) {
    case tables::ftString:
        return std::max(1, field.size > 0 ? field.size : field.width);
    case tables::ftSmallint:
        return 6;       // -32768
    case tables::ftWord:
        return 5;
    case tables::ftInteger:
    case tables::ftAutoInc:
        return 11;      // -2147483648
    case tables::ftFloat:
        // A dBASE number's width counts its sign, digits and point; binary doubles have none.
        return (field.nativeType == 'N' || field.nativeType == 'F') && field.width > 0 ? field.width : 15;
    case tables::ftCurrency:
        return 15;
    case tables::ftBCD:
        return 20;
    case tables::ftBoolean:
        return 3;       // "Нет"
    case tables::ftDate:
        return 10;      // 15.03.2024
    case tables::ftTime:
        return 8;       // 13:45:30
    case tables::ftDateTime:
        return 19;
    case tables::ftMemo:
    case tables::ftFmtMemo:
        return 30;      // the start of its first line
    case tables::ftBytes:
    case tables::ftVarBytes:
    case tables::ftBlob:
    case tables::ftGraphic:
    case tables::ftParadoxOle:
    case tables::ftDBaseOle:
    case tables::ftTypedBinary:
        return 18;      // "(BLOB, 1 234 байт)"
    default:
        return std::max(10, std::min(field.width, 40));
    }
}

Qt::Alignment alignmentOf(const FieldDef &field)
{
    switch (field.type) {
    case tables::ftSmallint:
    case tables::ftInteger:
    case tables::ftWord:
    case tables::ftFloat:
    case tables::ftCurrency:
    case tables::ftBCD:
    case tables::ftAutoInc:
        return Qt::AlignRight | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

} // namespace selection

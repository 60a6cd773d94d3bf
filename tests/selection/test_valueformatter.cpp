// What the grid shows for each kind of value, as one table of cases: cells of the fixture tables
// read through the model, and values built here for what no fixture holds. Russian locale
// unless a case names another.
#include "values.h"
#include "selection/tablemodel.h"
#include "selection/valueformatter.h"
#include "tables/table.h"

#include <QTest>

using tables::Value;
using namespace testvalues;

namespace {
const QChar kNbsp(0x00A0);  // the Russian locale's group separator

Value sized(int64_t size)
{
    Value v = of(Value::Kind::Binary);
    v.size = size;
    return v;
}
Value text(const char *s, Value::Kind kind = Value::Kind::Text) { return Value::ofText(s, kind); }
Value text(const std::string &s, Value::Kind kind) { return Value::ofText(s, kind); }

// A cell of a fixture table: file (under the fixtures), row, field name.
void cell(const char *name, const char *file, int row, const char *field, const QString &shown)
{
    QTest::newRow(name) << QString::fromUtf8(file) << row << QString::fromUtf8(field) << Value() << 0 << QString() << shown;
}
// A value the reader might give for a field of `type`.
void value(const char *name, const Value &v, tables::FieldType type, const QString &shown, const QString &locale = {})
{
    QTest::newRow(name) << QString() << 0 << QString() << v << int(type) << locale << shown;
}

QString repeated(const QString &unit, int chars)
{
    QString s;
    while (s.size() < chars)
        s += unit;
    return s.left(chars);
}

} // namespace

class ValueFormatterTest : public QObject {
    Q_OBJECT
private slots:
    void shownText_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("field");
        QTest::addColumn<Value>("value");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("shown");

        // Text, in the table's code page.
        cell("dBASE cp866 text", "dbase/cp866.dbf", 2, "NAME", "ЁЖИК ёжик Ъъ");
        cell("dBASE cp866 text 2", "dbase/cp866.dbf", 1, "CITY", "Санкт-Петербург");
        cell("dBASE cp1251 text", "dbase/cp1251.dbf", 2, "CITY", "Ярославль");
        cell("dBASE code page from .cpg", "dbase/gdal_cp1251.dbf", 0, "NAME", "Иванов Иван");
        cell("Paradox cp866 text", "paradox/cyr866.db", 2, "NAME", "ЁЖИК ёжик Ъъ Ыы");
        cell("Paradox alpha filling its field", "paradox/alltypes.db", 1, "ALPHA", "ABCDEFGHIJKLMNOPQRST");
        cell("Paradox empty alpha", "paradox/alltypes.db", 2, "ALPHA", "");
        // Numbers: stored decimals, locale decimal point, no group separators.
        cell("dBASE N 10 2", "dbase/db3_plain.dbf", 0, "PRICE", "12,50");
        cell("dBASE N 8 0 negative", "dbase/db3_plain.dbf", 1, "QTY", "-20");
        cell("dBASE N 10 2 largest", "dbase/db3_plain.dbf", 2, "PRICE", "99999,99");
        cell("dBASE F 12 3", "dbase/fox26_memo.dbf", 0, "AMOUNT", "3,125");
        cell("dBASE F 12 3 zero", "dbase/fox26_memo.dbf", 2, "AMOUNT", "0,000");
        cell("dBASE F 20 18, no double noise", "real/dbase/dbase_8b.dbf", 0, "FLOAT", "1,234567890123460000");
        cell("dBASE blank number", "dbase/db4_memo.dbf", 2, "PRICE", "");
        cell("FoxPro B double", "dbase/vfp_types.dbf", 0, "DBL", "3,5");
        cell("FoxPro B huge double", "dbase/vfp_types.dbf", 1, "DBL", "-1E+100");
        cell("FoxPro I", "dbase/vfp_types.dbf", 1, "CNT", "-7");
        cell("Paradox short", "paradox/alltypes.db", 0, "SHORT", "-1234");
        cell("Paradox long", "paradox/alltypes.db", 1, "LONGINT", "-2147483647");
        cell("Paradox number", "paradox/alltypes.db", 0, "NUMBER", "-3,25");
        cell("Paradox number 1e10 in full", "paradox/alltypes.db", 1, "NUMBER", "10000000000");
        cell("Paradox BCD as stored", "paradox/alltypes.db", 0, "BCD", "12345,67");
        cell("Paradox BCD negative", "real/paradox/bcd.db", 1, "A", "-1,23");
        cell("Paradox BCD blank (pxlib)", "paradox/alltypes.db", 2, "BCD", "");
        cell("Paradox BCD blank (Paradox)", "real/paradox/bcd.db", 2, "B", "");
        cell("Paradox formatted memo: its stored size", "real/paradox/fmemo.db", 0, "FMEMO", "(FmtMemo, 169 байт)");
        cell("Paradox autoincrement", "paradox/alltypes.db", 2, "AUTOINC", "3");
        // Money: two decimals, no symbol.
        cell("Paradox money", "paradox/alltypes.db", 0, "MONEY", "1234,56");
        cell("Paradox money zero", "paradox/alltypes.db", 1, "MONEY", "0,00");
        cell("FoxPro Y rounded to 2", "dbase/vfp_types.dbf", 0, "MONEY", "12,35");
        cell("FoxPro Y negative", "dbase/vfp_types.dbf", 1, "MONEY", "-0,50");
        // Logical.
        cell("dBASE logical T", "dbase/db3_plain.dbf", 0, "OK", "Да");
        cell("dBASE logical F", "dbase/db3_plain.dbf", 1, "OK", "Нет");
        cell("dBASE logical blank", "dbase/db3_plain.dbf", 2, "OK", "");
        cell("Paradox logical", "paradox/alltypes.db", 1, "LOGICAL", "Нет");
        // Dates and times: the locale's short date, times with seconds and no zone.
        cell("dBASE date", "dbase/db3_plain.dbf", 0, "BORN", "15.03.2024");
        cell("dBASE blank date", "dbase/db3_plain.dbf", 2, "BORN", "");
        cell("Paradox date", "paradox/alltypes.db", 1, "DATE", "31.12.1999");
        cell("Paradox time", "paradox/alltypes.db", 0, "TIME", "13:45:30");
        cell("Paradox midnight is a time", "paradox/alltypes.db", 1, "TIME", "00:00:00");
        cell("Paradox blank time", "real/paradox/time.db", 1, "Time", "");
        cell("Paradox timestamp", "paradox/alltypes.db", 0, "TIMESTAMP", "15.03.2024 13:45:30");
        cell("FoxPro T", "dbase/vfp_types.dbf", 1, "STAMP", "31.12.1999 23:59:59");
        // Memo: the first line, trimmed.
        cell("dBASE III memo", "dbase/db3_memo.dbf", 0, "NOTES", "short memo");
        cell("dBASE III long memo", "dbase/db3_memo.dbf", 1, "NOTES", repeated("x", 255) + "…");
        cell("dBASE empty memo", "dbase/db3_memo.dbf", 2, "NOTES", "");
        cell("dBASE IV memo", "dbase/db4_memo.dbf", 0, "NOTES", "dBASE IV memo one");
        cell("FoxPro memo", "dbase/vfp_types.dbf", 0, "NOTE", "vfp memo");
        cell("Paradox memo in the leader", "paradox/alltypes.db", 0, "MEMO", "short memo");
        cell("Paradox memo in the .mb", "paradox/alltypes.db", 1, "MEMO", repeated("abcdefghijklmnopqrstuvwxyz", 255) + "…");
        cell("Paradox memo, line end at the end", "real/paradox/memo.db", 1, "MEMO", "01234567890");
        cell("Paradox formatted memo as text", "paradox/alltypes.db", 0, "FMTMEMO", "fmt memo");
        // Binary, graphic, OLE: a marker with the size.
        cell("Paradox blob", "paradox/alltypes.db", 0, "BLOB", "(BLOB, 6 байт)");
        cell("Paradox graphic", "paradox/alltypes.db", 0, "GRAPHIC", "(Graphic, 14 байт)");
        cell("Paradox graphic in the .mb", "real/paradox/graphic240.db", 0, "Graph", "(Graphic, 20" + QString(kNbsp) + "086 байт)");
        cell("Paradox bytes", "paradox/alltypes.db", 0, "BYTES", "(Bytes, 8 байт)");
        cell("Paradox empty OLE", "paradox/alltypes.db", 0, "OLE", "");
        cell("FoxPro 2 general", "dbase/fox26_memo.dbf", 0, "PIC", "(OLE, 3 байта)");
        cell("FoxPro blob W", "dbase/vfp_varlen.dbf", 0, "BLOBW", "(BLOB, 4 байта)");

        // Values no fixture holds.
        value("shortest form of a tiny number", number(Value::Kind::Number, 1.5e-7), tables::ftFloat, "1,5E-07");
        value("no negative zero", number(Value::Kind::Number, -0.0, 2), tables::ftFloat, "0,00");
        value("integer without groups", Value::ofInteger(1234567), tables::ftInteger, "1234567");
        value("first day", of(Value::Kind::Date, 1), tables::ftDate, "01.01.0001");
        value("day out of range", of(Value::Kind::Date, 0), tables::ftDate, "(неверная дата)");
        value("time out of range", of(Value::Kind::Time, 86400000), tables::ftTime, "(неверное время)");
        value("size grouped, plural 4", sized(1234), tables::ftBlob, "(BLOB, 1" + QString(kNbsp) + "234 байта)");
        value("plural 8", sized(20078), tables::ftGraphic, "(Graphic, 20" + QString(kNbsp) + "078 байт)");
        value("plural 1", sized(1), tables::ftBlob, "(BLOB, 1 байт)");
        value("plural 12", sized(12), tables::ftBlob, "(BLOB, 12 байт)");
        value("plural 22", sized(22), tables::ftDBaseOle, "(OLE, 22 байта)");
        value("plural 111", sized(111), tables::ftParadoxOle, "(OLE, 111 байт)");
        value("binary memo", sized(3), tables::ftMemo, "(Memo, 3 байта)");
        value("missing", text("нет файла примечаний .dbt", Value::Kind::Missing), tables::ftMemo, "(нет файла примечаний .dbt)");
        value("memo: first non-blank line", text("\r\n  first line  \r\nsecond", Value::Kind::Memo), tables::ftMemo, "first line…");
        value("memo: blank lines after", text("only\n\n  \n", Value::Kind::Memo), tables::ftMemo, "only");
        value("memo: control characters", text("a\tb\x01" "c", Value::Kind::Memo), tables::ftMemo, "a b c");
        value("memo with layout bytes", text(std::string("\x07\0\0abc", 6), Value::Kind::Memo), tables::ftFmtMemo, "(FmtMemo, 6 байт)");
        value("memo text of a memo field", text("line\nmore"), tables::ftMemo, "line…");
        value("BCD text", text("-0.50"), tables::ftBCD, "-0,50");
        value("null", Value::null(), tables::ftString, "");
        value("C locale: point", number(Value::Kind::Number, 12.5, 2), tables::ftFloat, "12.50", "C");
        value("C locale: money", number(Value::Kind::Currency, 1234.5), tables::ftCurrency, "1234.50", "C");
        value("en_US: time zone dropped", of(Value::Kind::Time, 49530000), tables::ftTime, "1:45:30 PM", "en_US");
        value("en_US: timestamp", of(Value::Kind::DateTime, 738960, 49530000), tables::ftDateTime, "3/15/24 1:45:30 PM", "en_US");
    }

    void shownText()
    {
        QFETCH(QString, file);
        QFETCH(int, row);
        QFETCH(QString, field);
        QFETCH(Value, value);
        QFETCH(int, type);
        QFETCH(QString, locale);
        QFETCH(QString, shown);

        const QLocale loc = locale.isEmpty() ? QLocale(QLocale::Russian, QLocale::Russia) : QLocale(locale);
        if (file.isEmpty()) {
            tables::FieldDef def;
            def.type = tables::FieldType(type);
            QCOMPARE(selection::ValueFormatter(loc).format(value, def), shown);
            return;
        }
        const QString path = kFixtures + u'/' + file;
        const qsizetype slash = path.lastIndexOf(u'/');
        tables::Table Current;
        Current.DatabaseName = path.left(slash + 1).toStdString();
        Current.TableName = path.mid(slash + 1).toStdString();
        Current.Open();
        selection::TableModel model(&Current);
        model.setLocale(loc);
        int column = -1;
        for (int c = 0; c < model.columnCount(); ++c)
            if (model.headerData(c, Qt::Horizontal).toString() == field)
                column = c;
        QVERIFY2(column >= 0, qPrintable("no field " + field));
        QCOMPARE(model.data(model.index(row, column)).toString(), shown);
    }
};

QTEST_GUILESS_MAIN(ValueFormatterTest)
#include "test_valueformatter.moc"

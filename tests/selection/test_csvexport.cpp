// Records out: the neutral text of each kind of value (one table of cases), CSV quoting, whole
// files written from fixture tables (deleted records left out, damage reported, the byte order
// mark and line ends), and the cells copied from the grid.
#include "values.h"
#include "selection/csvexport.h"
#include "selection/tablemodel.h"
#include "tables/error.h"
#include "tables/recordsource.h"
#include "tables/table.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QTest>

using tables::Value;
using namespace testvalues;

namespace {

Value text(const std::string &s, Value::Kind kind = Value::Kind::Text) { return Value::ofText(s, kind); }
int64_t day(int y, int m, int d) { return QDate(y, m, d).toJulianDay() - 1721425; }

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::unique_ptr<tables::RecordSource> fixture(const char *name)
{
    return tables::openRecordSource((kFixtures + u'/' + QLatin1String(name)).toStdString(), tables::ttDefault);
}

} // namespace

class CsvExportTest : public QObject {
    Q_OBJECT

private slots:
    void neutral_data()
    {
        QTest::addColumn<Value>("value");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("given");
        QTest::newRow("null") << Value::null() << "" << true;
        QTest::newRow("text") << text("Иванов, Иван") << "Иванов, Иван" << true;
        QTest::newRow("integer") << Value::ofInteger(-1234) << "-1234" << true;
        QTest::newRow("number, field decimals") << Value::ofNumber(12.5, 2) << "12.50" << true;
        QTest::newRow("number, no noise past the double") << Value::ofNumber(1.23456789012346, 18) << "1.234567890123460000" << true;
        QTest::newRow("number, rounded to its decimals") << Value::ofNumber(2.0 / 3.0, 3) << "0.667" << true;
        QTest::newRow("number, shortest") << Value::ofNumber(-3.25) << "-3.25" << true;
        QTest::newRow("number, whole") << Value::ofNumber(10000000000.0) << "10000000000" << true;
        QTest::newRow("number, huge") << Value::ofNumber(-1e100) << "-1e+100" << true;
        QTest::newRow("number, tiny") << Value::ofNumber(1.5e-7) << "1.5e-07" << true;
        QTest::newRow("number, negative zero") << Value::ofNumber(-0.0, 2) << "0.00" << true;
        QTest::newRow("currency, two decimals at least") << number(Value::Kind::Currency, 1234.5) << "1234.50" << true;
        QTest::newRow("currency, four stored") << number(Value::Kind::Currency, 12.3456, 4) << "12.3456" << true;
        QTest::newRow("true") << of(Value::Kind::Boolean, 1) << "true" << true;
        QTest::newRow("false") << of(Value::Kind::Boolean, 0) << "false" << true;
        QTest::newRow("date") << of(Value::Kind::Date, day(2024, 3, 15)) << "2024-03-15" << true;
        QTest::newRow("first date") << of(Value::Kind::Date, 1) << "0001-01-01" << true;
        QTest::newRow("last date") << of(Value::Kind::Date, day(9999, 12, 31)) << "9999-12-31" << true;
        QTest::newRow("leap day") << of(Value::Kind::Date, day(2000, 2, 29)) << "2000-02-29" << true;
        QTest::newRow("date out of range") << of(Value::Kind::Date, 0) << "" << false;
        QTest::newRow("time") << of(Value::Kind::Time, 49530000) << "13:45:30" << true;
        QTest::newRow("time with ms") << of(Value::Kind::Time, 49530250) << "13:45:30.250" << true;
        QTest::newRow("time out of range") << of(Value::Kind::Time, 86400000) << "" << false;
        QTest::newRow("date and time") << of(Value::Kind::DateTime, day(1999, 12, 31), 86399000) << "1999-12-31T23:59:59" << true;
        QTest::newRow("date and bad time") << of(Value::Kind::DateTime, day(1999, 12, 31), -1) << "" << false;
        QTest::newRow("memo, whole") << text("line 1\r\nline 2", Value::Kind::Memo) << "line 1\r\nline 2" << true;
        QTest::newRow("memo with NUL bytes") << text(std::string("a\0b", 3), Value::Kind::Memo) << "610062" << true;
        Value blob = of(Value::Kind::Binary);
        blob.text = std::string("\x00\x01\xFE\xFF", 4);
        blob.size = 4;
        QTest::newRow("binary") << blob << "0001feff" << true;
        QTest::newRow("missing") << text("нет файла примечаний", Value::Kind::Missing) << "" << false;
    }
    void neutral()
    {
        QFETCH(Value, value);
        QFETCH(QString, expected);
        QFETCH(bool, given);
        std::string out;
        QCOMPARE(selection::appendNeutral(out, value), given);
        QCOMPARE(QString::fromStdString(out), expected);
    }

    void quoting()
    {
        const std::pair<const char *, const char *> cases[] = {
            {"plain", "plain"}, {"", ""}, {"a,b", "\"a,b\""}, {"say \"hi\"", "\"say \"\"hi\"\"\""},
            {"two\nlines", "\"two\nlines\""}, {"cr\r", "\"cr\r\""}, {" lead", "\" lead\""}, {"trail ", "\"trail \""},
        };
        for (const auto &[in, out] : cases) {
            std::string s;
            selection::appendCsvField(s, in);
            QCOMPARE(QString::fromStdString(s), QString::fromUtf8(out));
        }
    }

    // Deleted records are left out; the mark, the header line and CR LF are there.
    void deletedLeftOut()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath("deleted.csv");
        const selection::CsvResult result = selection::saveCsv(*fixture("dbase/deleted.dbf"), out);
        QCOMPARE(result.records, int64_t(3));
        QVERIFY(result.problem.empty());
        QCOMPARE(readAll(out), QByteArray("\xEF\xBB\xBFN,S\r\n1,row1\r\n3,row3\r\n5,row5\r\n"));
    }

    // A table written here with texts that need quoting, read back byte for byte.
    void quotedCells()
    {
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString() + "/";
        auto field = [](const char *n, char t, int w) { tables::FieldDef f; f.name = n; f.nativeType = t; f.width = w; return f; };
        tables::createDbaseTable(folder, "Q.DBF", {field("NAME", 'C', 20), field("OK", 'L', 1)}, {}, 0xC9);
        {
            tables::Table t;
            t.DatabaseName = folder;
            t.TableName = "Q.DBF";
            t.ReadOnly = false;
            t.Open();
            for (const char *name : {"Рога, копыта", "\"Ромашка\"", " left"}) {
                t.Insert();
                t.setFieldAsString("NAME", name);
                t.setFieldAsString("OK", "T");
                t.Post();
            }
        }
        const QString out = dir.filePath("q.csv");
        selection::saveCsv(*tables::openRecordSource(folder + "Q.DBF", tables::ttDefault), out);
        QCOMPARE(QString::fromUtf8(readAll(out)),
                 QString::fromUtf8("\xEF\xBB\xBFNAME,OK\r\n\"Рога, копыта\",true\r\n\"\"\"Ромашка\"\"\",true\r\n\" left\",true\r\n"));
    }

    // Binary and memo values come out whole: the FoxPro general field's bytes, the memo of
    // 1,500 characters.
    void wholeValues()
    {
        QTemporaryDir dir;
        const QString fox = dir.filePath("fox.csv"), memo = dir.filePath("memo.csv");
        selection::saveCsv(*fixture("dbase/fox26_memo.dbf"), fox);
        QVERIFY(readAll(fox).contains(",FoxPro memo text,010203\r\n"));
        selection::saveCsv(*fixture("dbase/db3_memo.dbf"), memo);
        QVERIFY(readAll(memo).contains("second," + QByteArray(1500, 'x') + " end,2\r\n"));
        // Paradox: a BLOB held in its leader, Bytes in the record, a graphic of some 20,000 bytes in the .MB.
        const QString paradox = dir.filePath("paradox.csv"), graphic = dir.filePath("graphic.csv");
        selection::saveCsv(*fixture("paradox/alltypes.db"), paradox);
        QVERIFY(readAll(paradox).contains(",short memo,000102feff7f,"));
        QVERIFY(readAll(paradox).contains(",0102030405060708,"));
        selection::saveCsv(*fixture("real/paradox/graphic240.db"), graphic);
        const QList<QByteArray> lines = readAll(graphic).split('\n');
        QVERIFY(lines.size() > 2 && lines[1].startsWith("1,010000016e4e0000424d"));
        QVERIFY(lines[1].trimmed().size() > 20000);
    }

    // Damage: the file is written, with what could be read, and the problem is said.
    void damage_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<qint64>("records");
        QTest::addColumn<qint64>("unreadable");
        QTest::addColumn<QString>("problem");
        QTest::newRow("count beyond the data") << "dbase/bad_count.dbf" << qint64(2) << qint64(0) << "в заголовке указано записей";
        QTest::newRow("memo file missing") << "real/dbase/dbase_83_missing_memo.dbf" << qint64(67) << qint64(67) << "нет файла примечаний";
    }
    void damage()
    {
        QFETCH(QString, table);
        QFETCH(qint64, records);
        QFETCH(qint64, unreadable);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        const selection::CsvResult result = selection::saveCsv(*fixture(table.toUtf8().constData()), dir.filePath("out.csv"));
        QCOMPARE(qint64(result.records), records);
        QCOMPARE(qint64(result.unreadable), unreadable);
        QVERIFY2(QString::fromStdString(result.problem).contains(problem), result.problem.c_str());
    }

    // A file that cannot be written is reported, naming it; an older file stays as it was.
    void unwritable()
    {
        QTemporaryDir dir;
        const QString old = dir.filePath("keep.csv");
        {
            QFile f(old);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old");
        }
        QVERIFY_THROWS_EXCEPTION(tables::Error, selection::saveCsv(*fixture("dbase/cp866.dbf"), dir.filePath("no/such/folder/x.csv")));
        QVERIFY(selection::saveCsv(*fixture("dbase/cp866.dbf"), old, [](int64_t, int64_t) { return false; }).cancelled);
        QCOMPARE(readAll(old), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.csv"});
    }

    // Ctrl+C: the cells selected in the grid, tab-separated, rows as the grid shows them.
    void copiedCells()
    {
        tables::Table table;
        table.DatabaseName = (kFixtures + "/dbase/").toStdString();
        table.TableName = "deleted.dbf";
        table.Open();
        selection::TableModel model(&table);
        model.reset();
        QItemSelectionModel selected(&model);
        selected.select(QItemSelection(model.index(0, 0), model.index(1, 1)), QItemSelectionModel::Select);
        selected.select(model.index(2, 1), QItemSelectionModel::Select);
        QCOMPARE(selection::copiedCells(model, selected.selectedIndexes()), QStringLiteral("1\trow1\n3\trow3\n\trow5\n"));
        QCOMPARE(selection::copiedCells(model, {}), QString());
    }
};

QTEST_GUILESS_MAIN(CsvExportTest)
#include "test_csvexport.moc"

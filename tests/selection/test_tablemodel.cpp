// The grid's model over the table component: shape and headers, the open/closed life cycle,
// deleted records left out on a generated table of 100,000 records, the bounded cache, and
// damaged tables showing the rows before the damage with one warning.
#include "selection/tablemodel.h"
#include "tables/error.h"
#include "tables/recordsource.h"
#include "tables/table.h"
#include "testutil.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include "tables/file.h"
#include <cerrno>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

namespace fs = std::filesystem;
using selection::TableModel;
using testutil::Scratch;

namespace {

const std::string kFixtures = ZORVIK_FIXTURES;

// A dBASE table of `records` records: ID N 7 (the record number, 1-based) and LABEL C 8
// ("r" and the number); records for which `deleted` says so carry the deletion flag. The
// header comes from the engine, the records are written as bytes.
constexpr int kHeaderLength = 32 + 2 * 32 + 1;
constexpr int kRecordLength = 1 + 7 + 8;

void writeTable(const std::string &folder, const std::string &name, int64_t records,
                const std::function<bool(int64_t)> &deleted)
{
    auto field = [](const char *n, char t, int w) { tables::FieldDef f; f.name = n; f.nativeType = t; f.width = w; return f; };
    tables::createDbaseTable(folder, name, {field("ID", 'N', 7), field("LABEL", 'C', 8)}, {}, 0);
    std::string bytes;
    bytes.reserve(size_t(records) * kRecordLength + 1);
    char rec[kRecordLength + 1];
    for (int64_t r = 0; r < records; ++r) {
        std::snprintf(rec, sizeof rec, "%c%7lld%-8s", deleted(r) ? '*' : ' ', (long long)(r + 1),
                      ("r" + std::to_string(r + 1)).c_str());
        bytes.append(rec, kRecordLength);
    }
    bytes += '\x1A';
    std::fstream f(folder + name, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(kHeaderLength);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    const uint32_t n = uint32_t(records);
    const char count[4] = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
    f.seekp(4);
    f.write(count, 4);
}

void open(tables::Table &t, const std::string &folder, const std::string &name)
{
    t.DatabaseName = folder;
    t.TableName = name;
    t.Open();
}

QString text(const TableModel &m, int row, int column) { return m.data(m.index(row, column)).toString(); }

// Records of the model's table that it shows no row for.
int64_t recordsLeftOut(const TableModel &m)
{
    return m.table() && m.table()->source() ? m.table()->source()->recordCount() - m.rowCount() : 0;
}

// The engine's own message for reading `record` of the open table, or empty.
QString engineError(const tables::Table &t, int64_t record)
{
    try {
        t.source()->value(record, 0);
    } catch (const tables::Error &e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

enum class Damage { HeaderCountBeyondData, CutBeforeOpeningTheModel, CutWhileShown, ParadoxBlockChainCut };

} // namespace

Q_DECLARE_METATYPE(Damage)

class TableModelTest : public QObject {
    Q_OBJECT
private slots:
    void shapeHeadersAndFlags()
    {
        tables::Table Current;
        open(Current, kFixtures + "/paradox/", "alltypes.db");
        TableModel model(&Current);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.columnCount(), 18);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("ALPHA"));
        QCOMPARE(model.headerData(17, Qt::Horizontal).toString(), QStringLiteral("FIELD_NAME_25_CHARS_ABCDE"));
        QCOMPARE(model.headerData(0, Qt::Vertical).toString(), QStringLiteral("1"));
        QCOMPARE(model.headerData(2, Qt::Vertical).toString(), QStringLiteral("3"));
        const QModelIndex cell = model.index(0, 0);
        QVERIFY(!(model.flags(cell) & Qt::ItemIsEditable));
        QVERIFY(model.flags(cell) & Qt::ItemIsSelectable);
        QVERIFY(!model.setData(cell, QStringLiteral("x")));
        QCOMPARE(model.data(cell, Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft | Qt::AlignVCenter));
        QCOMPARE(model.data(model.index(0, 2), Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));

        tables::Table cyr;
        open(cyr, kFixtures + "/paradox/", "cyr866.db");
        model.setTable(&cyr);
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("ГОРОД"));
        QCOMPARE(model.rowCount(), 4);
    }

    // The window's sequence: the model follows Current through reset().
    void followsOpenAndClose()
    {
        tables::Table Current;
        TableModel model(&Current);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 0);

        open(Current, kFixtures + "/dbase/", "cp866.dbf");
        model.reset();
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(text(model, 0, 0), QStringLiteral("Иванов Иван"));

        Current.Close();
        model.reset();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 0);

        open(Current, kFixtures + "/dbase/", "empty.dbf");
        model.reset();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 3);

        model.setTable(nullptr);
        QCOMPARE(model.columnCount(), 0);
    }

    // Closed or reopened without reset(): nothing is read from the old records, and the model
    // resets itself from the event loop.
    void aMissedResetIsCaught()
    {
        tables::Table Current;
        open(Current, kFixtures + "/dbase/", "deleted.dbf");
        TableModel model(&Current);
        QCOMPARE(model.rowCount(), 3);
        Current.Close();
        QCOMPARE(model.data(model.index(0, 0)), QVariant());
        QTRY_COMPARE(model.rowCount(), 0);

        open(Current, kFixtures + "/dbase/", "cp866.dbf");
        model.reset();
        Current.Close();
        open(Current, kFixtures + "/paradox/", "many.db");
        model.data(model.index(0, 0));
        QTRY_COMPARE(model.rowCount(), 5000);
        QCOMPARE(text(model, 4999, 1), QStringLiteral("row 05000"));
    }

    void deletedRecordsAreLeftOut()
    {
        tables::Table Current;
        open(Current, kFixtures + "/dbase/", "deleted.dbf");
        TableModel model(&Current);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(recordsLeftOut(model), 2);
        const int64_t records[] = {0, 2, 4};
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(model.recordOfRow(row), records[row]);
            QCOMPARE(text(model, row, 0), QString::number(records[row] + 1));
        }
        QCOMPARE(model.recordOfRow(3), -1);
        QCOMPARE(model.recordOfRow(-1), -1);
    }

    // 100,000 records; deleted: the first, the last, every 7th, and a run of 1,000.
    void aLargeTableIsReadOnDemand()
    {
        constexpr int64_t kRecords = 100000;
        auto deleted = [](int64_t r) { return r == 0 || r == kRecords - 1 || r % 7 == 3 || (r >= 50000 && r < 51000); };
        Scratch scratch;
        writeTable(scratch.folder(), "BIG.DBF", kRecords, deleted);
        std::vector<int64_t> live;
        for (int64_t r = 0; r < kRecords; ++r)
            if (!deleted(r))
                live.push_back(r);

        tables::Table Current;
        open(Current, scratch.folder(), "BIG.DBF");
        TableModel model(&Current);
        QCOMPARE(model.rowCount(), int(live.size()));
        QCOMPARE(recordsLeftOut(model), kRecords - int64_t(live.size()));
        QVERIFY(model.warning().isEmpty());
        for (int row = 0; row < model.rowCount(); ++row)
            if (model.recordOfRow(row) != live[size_t(row)])
                QFAIL(qPrintable(QStringLiteral("row %1: record %2, expected %3").arg(row).arg(model.recordOfRow(row)).arg(live[size_t(row)])));

        // Cells: the last row first (a jump), then every row, then random ones.
        const int last = model.rowCount() - 1;
        QCOMPARE(text(model, last, 0), QString::number(live.back() + 1));
        QCOMPARE(text(model, last, 1), "r" + QString::number(live.back() + 1));
        const int limit = model.cache().maxBlocks();
        const int64_t rowsLimit = int64_t(limit) * model.cache().blockRows();
        for (int row = 0; row <= last; ++row) {
            if (text(model, row, 0) != QString::number(live[size_t(row)] + 1))
                QFAIL(qPrintable(QStringLiteral("row %1 shows %2").arg(row).arg(text(model, row, 0))));
        }
        QVERIFY(model.cache().blockCount() <= limit);
        QVERIFY(model.cache().rowsHeld() <= rowsLimit);
        std::mt19937 rng(7);
        for (int i = 0; i < 2000; ++i) {
            const int row = int(rng() % unsigned(last + 1));
            QCOMPARE(text(model, row, 1), "r" + QString::number(live[size_t(row)] + 1));
        }
        QVERIFY(model.cache().blockCount() <= limit);
        QVERIFY(rowsLimit < kRecords / 10);
    }

    void modelTesterOnAGeneratedTable()
    {
        Scratch scratch;
        writeTable(scratch.folder(), "T.DBF", 3000, [](int64_t r) { return r % 5 == 0; });
        tables::Table Current;
        open(Current, scratch.folder(), "T.DBF");
        TableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setTable(&Current);
        QCOMPARE(model.rowCount(), 2400);
        Current.Close();
        model.reset();
        QCOMPARE(model.rowCount(), 0);
    }

    // A read that fails while the user scrolls (an I/O error on a bad sector): the rows that
    // cannot be read stay empty, the failure is said once, and nothing is thrown into the view.
    void aReadFailingWhileScrolling()
    {
        Scratch scratch;
        writeTable(scratch.folder(), "IO.DBF", 60000, [](int64_t) { return false; });
        tables::Table Current;
        open(Current, scratch.folder(), "IO.DBF");
        TableModel model(&Current);
        QSignalSpy spy(&model, &TableModel::damageFound);
        QCOMPARE(text(model, 0, 1), QStringLiteral("r1"));
        tables::faults::failAt(tables::faults::Read, 1, EIO);
        QCOMPARE(text(model, 30000, 1), QString());
        tables::faults::reset();
        QCOMPARE(text(model, 0, 1), QStringLiteral("r1"));   // what was read before still shows
        QCOMPARE(text(model, 45000, 1), QStringLiteral("r45001"));
        QTRY_COMPARE(spy.count(), 1);
        QVERIFY(spy.first().first().toString().contains(QStringLiteral("ошибка ввода-вывода")));
        QVERIFY(spy.first().first().toString().contains(QStringLiteral("IO.DBF")));
        QTest::qWait(10);
        QCOMPARE(spy.count(), 1);
    }

    void damageShowsTheRowsBeforeItAndWarnsOnce_data()
    {
        QTest::addColumn<Damage>("damage");
        QTest::newRow("dBASE header count beyond the data") << Damage::HeaderCountBeyondData;
        QTest::newRow("dBASE cut before the model reads it") << Damage::CutBeforeOpeningTheModel;
        QTest::newRow("dBASE cut while shown") << Damage::CutWhileShown;
        QTest::newRow("Paradox block chain cut") << Damage::ParadoxBlockChainCut;
    }

    void damageShowsTheRowsBeforeItAndWarnsOnce()
    {
        QFETCH(Damage, damage);
        // Large enough to outgrow the engine's read cache, so that a cut is really met.
        constexpr int64_t kRecords = 60000, kKept = 20000;
        Scratch scratch;
        const std::string big = scratch.folder() + "CUT.DBF";
        auto cut = [&] { fs::resize_file(big, uint64_t(kHeaderLength + kKept * kRecordLength + 5)); };
        tables::Table Current;
        TableModel model;
        QSignalSpy spy(&model, &TableModel::damageFound);
        QString expected;
        int rowsBefore = 0;  // rows that must show: at least these
        switch (damage) {
        case Damage::HeaderCountBeyondData:
            open(Current, kFixtures + "/dbase/", "bad_count.dbf");
            model.setTable(&Current);
            expected = QString::fromStdString(Current.source()->warning());
            rowsBefore = 2;
            QCOMPARE(model.rowCount(), 2);
            break;
        case Damage::CutBeforeOpeningTheModel:
            writeTable(scratch.folder(), "CUT.DBF", kRecords, [](int64_t) { return false; });
            open(Current, scratch.folder(), "CUT.DBF");
            cut();
            model.setTable(&Current);
            // The rows end where the engine could not read on: the message is about that record.
            expected = engineError(Current, model.rowCount());
            rowsBefore = 1000;
            QVERIFY(model.rowCount() >= rowsBefore);
            QVERIFY(model.rowCount() <= kKept);
            break;
        case Damage::CutWhileShown:
            writeTable(scratch.folder(), "CUT.DBF", kRecords, [](int64_t) { return false; });
            open(Current, scratch.folder(), "CUT.DBF");
            model.setTable(&Current);
            QCOMPARE(model.rowCount(), int(kRecords));
            cut();
            // The engine keeps the table's last blocks from the deletion pass; the rows between
            // the cut and those are the ones that cannot be read.
            QCOMPARE(text(model, int(kKept) + 1000, 0), QString());
            expected = engineError(Current, kKept + 1000);
            rowsBefore = 1000;
            break;
        case Damage::ParadoxBlockChainCut:
            fs::copy_file(kFixtures + "/paradox/many.db", scratch.folder() + "many.db");
            fs::resize_file(scratch.folder() + "many.db", 20000);
            open(Current, scratch.folder(), "many.db");
            model.setTable(&Current);
            expected = QString::fromStdString(Current.source()->warning());
            rowsBefore = 400;
            QVERIFY(model.rowCount() >= rowsBefore && model.rowCount() < 5000);
            break;
        }
        QVERIFY(!expected.isEmpty());
        for (int row = 0; row < rowsBefore; ++row)
            QCOMPARE(text(model, row, 0).trimmed(), QString::number(row + 1));
        // Everything else read (and more damage met): still one message, the first.
        for (int row = 0; row < model.rowCount(); ++row)
            for (int c = 0; c < model.columnCount(); ++c)
                model.data(model.index(row, c));
        QCOMPARE(model.warning(), expected);
        QCOMPARE(spy.count(), 0);  // not from inside data(): from the event loop
        QTRY_COMPARE(spy.count(), 1);
        QTest::qWait(20);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), expected);

        // A new table starts with no warning; the next damage is announced again.
        Current.Close();
        model.reset();
        QVERIFY(model.warning().isEmpty());
        open(Current, kFixtures + "/dbase/", "bad_count.dbf");
        model.reset();
        QTRY_COMPARE(spy.count(), 2);
    }
};

QTEST_GUILESS_MAIN(TableModelTest)
#include "test_tablemodel.moc"

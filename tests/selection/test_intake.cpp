// Intake of folders for the pick list: which files are tables (every fixture table, whatever
// its extension; no companion file), the order of a folder tree, and what is skipped with a
// note (a damaged table, a symbolic-link loop, a dangling link, a name not in the system's
// encoding, a file that vanishes during the search, an unreadable folder), and cancelling.
#include "selection/intake.h"
#include "tables/recognise.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

const QString kFixtures = QStringLiteral(ZORVIK_FIXTURES);

std::string local(const QString &path) { return path.toStdString(); }

void copy(const QString &fixture, const QString &to)
{
    QDir().mkpath(QFileInfo(to).path());
    QFile::remove(to);
    QVERIFY2(QFile::copy(kFixtures + u'/' + fixture, to), qPrintable(fixture));
}

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QStringList relative(const std::vector<std::string> &paths, const QString &root)
{
    QStringList out;
    for (const std::string &p : paths)
        out << QDir(root).relativeFilePath(QString::fromStdString(p));
    return out;
}

bool anyNote(const selection::Intake &intake, const char *part)
{
    for (const std::string &n : intake.notes)
        if (n.find(part) != std::string::npos)
            return true;
    return false;
}

} // namespace

class IntakeTest : public QObject {
    Q_OBJECT

private slots:
    // Every table among the fixtures is recognised by its header, whatever the extension says,
    // and no memo, blob or index file is.
    void recognisesFixtures()
    {
        int tables = 0;
        QDirIterator it(kFixtures, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString suffix = QFileInfo(path).suffix().toLower();
            const tables::TableKind kind = tables::recogniseTableFile(local(path));
            if (suffix == u"dbf" || suffix == u"db") {
                QVERIFY2(kind == (suffix == u"db" ? tables::TableKind::Paradox : tables::TableKind::DBase), qPrintable(path));
                ++tables;
            } else {
                QVERIFY2(kind == tables::TableKind::None || !tables::isCompanionExtension(local(u'.' + suffix)),
                         qPrintable(path));
                if (tables::isCompanionExtension(local(u'.' + suffix)))
                    QVERIFY2(kind == tables::TableKind::None, qPrintable(path));
            }
        }
        QVERIFY(tables > 40);
    }

    void recognisesBytes_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("kind");
        QByteArray dbase(64, '\0');
        dbase[0] = 0x03; dbase[1] = 124; dbase[2] = 3; dbase[3] = 15;
        dbase[8] = 65; dbase[10] = 11;     // header 65 bytes, records of 11
        dbase.replace(32, 4, "NAME");
        dbase[32 + 11] = 'C';
        dbase[64 - 1] = 0x0D;
        QTest::newRow("dBASE III") << dbase << int(tables::TableKind::DBase);
        QTest::newRow("dBASE III cut after its fixed header") << dbase.left(32) << int(tables::TableKind::DBase);
        QByteArray badMonth = dbase;
        badMonth[2] = 13;
        QTest::newRow("month 13") << badMonth << int(tables::TableKind::None);
        QByteArray noName = dbase;
        noName[32] = 0;
        QTest::newRow("descriptor without a name") << noName << int(tables::TableKind::None);
        QByteArray shortHeader = dbase;
        shortHeader[8] = 20;
        QTest::newRow("header length below 33") << shortHeader << int(tables::TableKind::None);
        QByteArray text("3 apples and 2 pears, a text that starts with a dBASE version byte.");
        text[0] = 0x03;
        QTest::newRow("text") << text << int(tables::TableKind::None);
        QTest::newRow("empty") << QByteArray() << int(tables::TableKind::None);
        QByteArray paradox(128, '\0');
        paradox[0] = 20; paradox[2] = 0; paradox[3] = 8;   // record 20 bytes, header 2048
        paradox[4] = 2; paradox[5] = 2; paradox[0x21] = 3; paradox[0x39] = 12;
        QTest::newRow("Paradox 7") << paradox << int(tables::TableKind::Paradox);
        QByteArray primaryIndex = paradox;
        primaryIndex[4] = 1;
        QTest::newRow("Paradox primary index (.PX)") << primaryIndex << int(tables::TableKind::None);
        QByteArray secondary = paradox;
        secondary[4] = 3;
        QTest::newRow("Paradox secondary index") << secondary << int(tables::TableKind::None);
    }
    void recognisesBytes()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, kind);
        QCOMPARE(int(tables::recogniseTable(reinterpret_cast<const uint8_t *>(head.constData()), size_t(head.size()))), kind);
    }

    void companions()
    {
        for (const char *e : {".dbt", ".fpt", ".mb", ".mdx", ".cdx", ".ndx", ".ntx", ".px", ".x02", ".y0a", ".xg0", ".val", ".cpg", ".tv", ".fam", ".scx", ".frx", ".pjx"})
            QVERIFY2(tables::isCompanionExtension(e), e);
        for (const char *e : {".dbf", ".db", ".dbc", ".dat", "", ".x", ".xyz", ".txt"})
            QVERIFY2(!tables::isCompanionExtension(e), e);
    }

    void naturalOrder()
    {
        const std::vector<std::string> sorted = {"a", "A1", "a2", "a02b", "a10", "B", "b2.dbf", "b10.dbf", "table9", "TABLE10",
                                                 "Таблица1", "таблица2", "Таблица10", "ё"};
        for (size_t i = 0; i + 1 < sorted.size(); ++i) {
            QVERIFY2(selection::naturalLess(sorted[i], sorted[i + 1]), (sorted[i] + " < " + sorted[i + 1]).c_str());
            QVERIFY2(!selection::naturalLess(sorted[i + 1], sorted[i]), (sorted[i + 1] + " !< " + sorted[i]).c_str());
        }
        // Names equal but for case or leading zeros still have an order, so sorting is stable.
        QVERIFY(selection::naturalLess("A", "a") != selection::naturalLess("a", "A"));
        QVERIFY(selection::naturalLess("a01", "a1") != selection::naturalLess("a1", "a01"));
    }

    // The tree the users bring: nested folders in natural order, tables with other extensions,
    // a companion file without its table, a text file, a damaged table, a link loop.
    void folderTree()
    {
        QTemporaryDir dir;
        const QString root = dir.path();
        copy("dbase/cp866.dbf", root + "/top.dbf");
        copy("dbase/db3_memo.dbf", root + "/data/clients.dbf");
        copy("dbase/db3_memo.dbt", root + "/data/clients.dbt");
        copy("dbase/db4_memo.dbt", root + "/data/orphan.dbt");      // its table is gone
        copy("paradox/alltypes.db", root + "/data/10/ALLTYPES.DB");
        copy("paradox/alltypes.mb", root + "/data/10/ALLTYPES.MB");
        copy("dbase/cp1251.dbf", root + "/data/2/ledger.dat");     // a table by its header
        copy("dbase/short_count.dbf", root + "/data/2/short.dbf"); // damaged further on: still a table
        copy("real/dbase/dbase_30.dbf", root + "/data/2/Item2.DBF");
        copy("real/dbase/dbase_30.fpt", root + "/data/2/Item2.FPT");
        copy("real/dbase/dbase_03.dbf", root + "/data/2/item10.dbf");
        write(root + "/data/readme.txt", "Tables of the old ledger.\n");
        write(root + "/data/broken.dbf", QByteArray("\x03 not a header at all, just some bytes written over it", 54));
        QVERIFY(::symlink("..", QFile::encodeName(root + "/data/10/up")) == 0);
        QVERIFY(::symlink("missing.dbf", QFile::encodeName(root + "/data/dangling.dbf")) == 0);
        ::mkfifo(QFile::encodeName(root + "/data/pipe.dbf"), 0600);   // never opened

        const selection::Intake intake = selection::expandPaths({local(root)});
        QCOMPARE(relative(intake.paths, root), (QStringList{"top.dbf", "data/clients.dbf", "data/2/Item2.DBF", "data/2/item10.dbf",
                                                             "data/2/ledger.dat", "data/2/short.dbf", "data/10/ALLTYPES.DB"}));
        QCOMPARE(intake.folders, 4);
        QVERIFY(!intake.cancelled);
        QCOMPARE(intake.notes.size(), size_t(3));
        QVERIFY(anyNote(intake, "broken.dbf» пропущен: это не таблица"));
        QVERIFY(anyNote(intake, "/data/10/up» пропущена: она ведёт в папку, которая её содержит"));
        QVERIFY(anyNote(intake, "dangling.dbf» пропущена: она никуда не ведёт"));
        QCOMPARE(intake.passedOver, 6);   // clients.dbt, orphan.dbt, ALLTYPES.MB, Item2.FPT, readme.txt, broken.dbf
        QVERIFY(!selection::intakeSummary(intake).isEmpty());
    }

    // Files are taken as named, even when they are not there; folders are searched in turn.
    void namedPaths()
    {
        QTemporaryDir dir;
        copy("dbase/cp866.dbf", dir.path() + "/sub/a.dbf");
        const std::string missing = local(dir.path() + "/nothing.dbf");
        const std::string text = local(dir.path() + "/notes.txt");
        write(QString::fromStdString(text), "text");
        const selection::Intake intake = selection::expandPaths({missing, local(dir.path() + "/sub/"), text});
        QCOMPARE(relative(intake.paths, dir.path()), (QStringList{"nothing.dbf", "sub/a.dbf", "notes.txt"}));
        QVERIFY(intake.notes.empty());
    }

    void nameNotInTheSystemEncoding()
    {
        QTemporaryDir dir;
        copy("dbase/cp866.dbf", dir.path() + "/good.dbf");
        const QByteArray bad = QFile::encodeName(dir.path()) + "/\xC1\xE0\xE7\xE0.dbf"; // "База" in 1251
        QVERIFY(QFile::copy(kFixtures + "/dbase/cp866.dbf", dir.path() + "/tmp.dbf"));
        QVERIFY(::rename(QFile::encodeName(dir.path() + "/tmp.dbf"), bad) == 0);
        const selection::Intake intake = selection::expandPaths({local(dir.path())});
        QCOMPARE(relative(intake.paths, dir.path()), QStringList{"good.dbf"});
        QVERIFY(anyNote(intake, "имя не в кодировке системы"));
        ::unlink(bad); // QTemporaryDir cannot remove it
    }

    // A file and a folder removed between the listing of their folder and their reading:
    // each skipped with a note, nothing else. (A folder that cannot be opened for lack of
    // access takes the same way, see unreadableFolder.)
    void vanishDuringTheSearch()
    {
        QTemporaryDir dir;
        for (int i = 0; i < 300; ++i)
            copy("dbase/cp866.dbf", dir.path() + QStringLiteral("/t%1.dbf").arg(i));
        copy("dbase/cp866.dbf", dir.path() + "/sub/gone.dbf");
        int calls = 0;
        const selection::Intake intake = selection::expandPaths({local(dir.path())}, [&](const selection::IntakeProgress &) {
            if (++calls == 2) { // after the first 256 files
                QFile::remove(dir.path() + "/t299.dbf");
                QDir(dir.path() + "/sub").removeRecursively();
            }
            return true;
        });
        QCOMPARE(int(intake.paths.size()), 299);
        QCOMPARE(intake.notes.size(), size_t(2));
        QVERIFY(anyNote(intake, "t299.dbf»: не удаётся открыть: файл не найден"));
        QVERIFY(anyNote(intake, "sub/» пропущена: исчезла во время просмотра"));
    }

    void cancelled()
    {
        QTemporaryDir dir;
        copy("dbase/cp866.dbf", dir.path() + "/a/x.dbf");
        copy("dbase/cp866.dbf", dir.path() + "/b/y.dbf");
        std::vector<std::string> folders;
        const selection::Intake intake = selection::expandPaths({local(dir.path())}, [&](const selection::IntakeProgress &p) {
            folders.push_back(p.folder);
            return folders.size() < 2;
        });
        QVERIFY(intake.cancelled);
        QCOMPARE(folders.size(), size_t(2));
    }

    // Root reads every folder, so this runs only for other users.
    void unreadableFolder()
    {
        if (::geteuid() == 0)
            QSKIP("root reads folders without read permission");
        QTemporaryDir dir;
        copy("dbase/cp866.dbf", dir.path() + "/open/a.dbf");
        copy("dbase/cp866.dbf", dir.path() + "/closed/b.dbf");
        QVERIFY(::chmod(QFile::encodeName(dir.path() + "/closed"), 0) == 0);
        const selection::Intake intake = selection::expandPaths({local(dir.path())});
        ::chmod(QFile::encodeName(dir.path() + "/closed"), 0700);
        QCOMPARE(relative(intake.paths, dir.path()), QStringList{"open/a.dbf"});
        QVERIFY(anyNote(intake, "closed/» пропущена: нет доступа"));
    }
};

QTEST_GUILESS_MAIN(IntakeTest)
#include "test_intake.moc"

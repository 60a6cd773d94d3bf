// Folders in and records out at the window: files and folders dropped through the real drag
// and drop events, the list box's context menu (add a folder, remove an entry), a folder on
// the command line of --pdf, and the grid's records to CSV and Ctrl+C.
#include "shippedcatalogue.h"
#include "app/application.h"
#include "app/buildprogress.h"
#include "app/dialogs.h"
#include "app/folderintake.h"
#include "app/headless.h"
#include "app/zorviewform.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <unistd.h>

namespace {

const QString kFixtures = QStringLiteral(ZORVIK_FIXTURES);

class ScriptedDialogs final : public app::Dialogs {
public:
    QStringList folders;    // answers of the folder dialog; empty cancels
    QString saveAs;         // answer of the save dialog
    QStringList messages, errors;

    QStringList openFiles(QWidget *, const app::OpenDialog &) override { return {}; }
    void message(QWidget *, const QString &text) override { messages << text; }
    void error(QWidget *, const QString &text) override { errors << text; }
    void preview(QWidget *, const report::Layout &) override {}
    void closePreview() override {}
    QString openFolder(QWidget *, const QString &) override { return folders.isEmpty() ? QString() : folders.takeFirst(); }
    QString saveFile(QWidget *, const QString &, const QString &, const QString &) override { return saveAs; }
};

// A working folder with the catalogue in Data/ and a small tree of tables in tree/.
class Workspace {
public:
    Workspace()
    {
        QDir::setCurrent(dir_.path());
        QDir().mkpath("Data");
        for (const char *file : {"ZORMain.dbf", "ZORMAIN.MDX", "ZORDet.dbf", "ZORDET.MDX"}) {
            const QString target = QStringLiteral("Data/") + QLatin1String(file);
            QFile::copy(shippedCatalogue() + QLatin1String(file), target);
            QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
        }
        put("dbase/cp866.dbf", "tree/b10/cp866.dbf");
        put("dbase/deleted.dbf", "tree/b2/deleted.dbf");
        put("dbase/db3_memo.dbt", "tree/b2/lost.dbt");
        put("paradox/alltypes.db", "tree/alltypes.db");
        QFile junk(path("tree/b2/junk.dbf"));
        junk.open(QIODevice::WriteOnly);
        junk.write("no table");
        ::symlink("..", QFile::encodeName(path("tree/b2/up")));
    }
    ~Workspace() { QDir::setCurrent(previous_); }

    QString path(const QString &name) const { return dir_.filePath(name); }
    void put(const QString &fixture, const QString &to) const
    {
        QDir(dir_.path()).mkpath(QFileInfo(path(to)).path());
        QFile::copy(kFixtures + u'/' + fixture, path(to));
    }

private:
    QString previous_ = QDir::currentPath();
    QTemporaryDir dir_;
};

QStringList items(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QStringList names() { QStringList out; for (const auto &s : NameList) out << QString::fromStdString(s); return out; }
QStringList folders() { QStringList out; for (const auto &s : PathList) out << QString::fromStdString(s); return out; }

// A drag entering the list box and dropping there, as the platform delivers it: the events go
// to the widget under the cursor and travel up to the window that takes drops.
bool drop(QWidget *target, const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(10, 10);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    return dropped.isAccepted();
}

} // namespace

class IntakeWindowTest : public QObject {
    Q_OBJECT
private slots:
    void dropFolderAndFile()
    {
        Workspace workspace;
        ScriptedDialogs dialogs;
        TZORViewForm form(dialogs, {});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        const QString file = kFixtures + "/dbase/cp1251.dbf";
        QVERIFY(drop(form.ListBox1->viewport(), {QUrl::fromLocalFile(workspace.path("tree")), QUrl::fromLocalFile(file)}));
        QTRY_COMPARE(items(form.ListBox1), (QStringList{"alltypes.db", "deleted.dbf", "cp866.dbf", "cp1251.dbf"}));
        QCOMPARE(names(), items(form.ListBox1));
        const QString tree = workspace.path("tree") + u'/';
        QCOMPARE(folders(), (QStringList{tree, tree + "b2/", tree + "b10/", kFixtures + "/dbase/"}));
        QVERIFY(FilesChosen);
        // One summary of what was skipped: the damaged table and the link loop.
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(dialogs.messages[0].contains("junk.dbf"));
        QVERIFY(dialogs.messages[0].contains("b2/up»"));
        QVERIFY(dialogs.errors.isEmpty());

        // Dropped anywhere on the window, not only on the list; View works on what was dropped.
        QVERIFY(drop(form.Button3, {QUrl::fromLocalFile(workspace.path("tree/b2/deleted.dbf"))}));
        QTRY_COMPARE(form.ListBox1->count(), 5);
        form.ListBox1->setCurrentRow(1);
        form.Button4->click();
        QVERIFY(form.Current.Active());
        QCOMPARE(form.CurrentModel.rowCount(), 3);

        // A folder without tables says so.
        QDir().mkpath(workspace.path("empty"));
        QVERIFY(drop(form.ListBox1, {QUrl::fromLocalFile(workspace.path("empty"))}));
        QTRY_COMPARE(dialogs.messages.size(), 2);
        QCOMPARE(dialogs.messages[1], QStringLiteral("Добавлено таблиц: 0 (просмотрено папок: 1)."));
        QCOMPARE(form.ListBox1->count(), 5);

        // Not while a build reads the tables.
        {
            app::BuildProgress building(&form);
            QVERIFY(!drop(form.ListBox1->viewport(), {QUrl::fromLocalFile(file)}));
        }

        // Only files of this machine are taken.
        QVERIFY(!drop(form.ListBox1->viewport(), {QUrl("https://example.org/x.dbf")}));
    }

    void listMenu()
    {
        Workspace workspace;
        ScriptedDialogs dialogs;
        TZORViewForm form(dialogs, {});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QStringList texts;
        for (QAction *action : form.PopupMenu1->actions())
            texts << action->text();
        QCOMPARE(texts, (QStringList{"Добавить папку…", "Убрать из списка", "Кодовая страница"}));

        // «Добавить папку…»: the same search as a drop; a cancelled dialog clears FilesChosen.
        dialogs.folders << workspace.path("tree/b2");
        form.AddFolder1->trigger();
        QCOMPARE(items(form.ListBox1), QStringList{"deleted.dbf"});
        QVERIFY(FilesChosen);
        form.AddFolder1->trigger();
        QVERIFY(!FilesChosen);
        QCOMPARE(form.ListBox1->count(), 1);
        dialogs.folders << workspace.path("tree");
        form.AddFolder1->trigger();
        QCOMPARE(items(form.ListBox1), (QStringList{"deleted.dbf", "alltypes.db", "deleted.dbf", "cp866.dbf"}));

        // The menu opens where the user right-clicks (here below the entries, which selects
        // none); «Убрать из списка» needs a selection.
        form.ListBox1->clearSelection();
        const QPoint below(5, form.ListBox1->viewport()->height() - 3);
        QVERIFY(!form.ListBox1->itemAt(below));
        QContextMenuEvent request(QContextMenuEvent::Mouse, below, form.ListBox1->viewport()->mapToGlobal(below));
        QApplication::sendEvent(form.ListBox1->viewport(), &request);
        QTRY_VERIFY(form.PopupMenu1->isVisible());
        QVERIFY(!form.Remove1->isEnabled());
        form.PopupMenu1->close();

        // Removing the third entry takes it from the list box and both lists together.
        form.ListBox1->setCurrentRow(2);
        QApplication::sendEvent(form.ListBox1->viewport(), &request);
        QTRY_VERIFY(form.PopupMenu1->isVisible());
        QVERIFY(form.Remove1->isEnabled());
        form.Remove1->trigger();
        form.PopupMenu1->close();
        QCOMPARE(items(form.ListBox1), (QStringList{"deleted.dbf", "alltypes.db", "cp866.dbf"}));
        QCOMPARE(names(), items(form.ListBox1));
        const QString tree = workspace.path("tree") + u'/';
        QCOMPARE(folders(), (QStringList{tree + "b2/", tree, tree + "b10/"}));
        form.ListBox1->setCurrentRow(2);
        form.Button4->click();
        QCOMPARE(QString::fromStdString(form.Current.DatabaseName), tree + "b10/");
    }

    // The grid: its records to CSV, and Ctrl+C on the selected cells.
    void gridRecords()
    {
        Workspace workspace;
        ScriptedDialogs dialogs;
        TZORViewForm form(dialogs, {});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.PopupMenu2->actions().first()->text(), QStringLiteral("Сохранить записи в CSV…"));
        dialogs.folders << workspace.path("tree/b2");
        form.AddFolder1->trigger();
        form.ListBox1->setCurrentRow(0);
        form.Button4->click();
        QVERIFY(form.Current.Active());

        dialogs.messages.clear(); // the search's note on the link loop
        dialogs.saveAs = workspace.path("deleted.csv");
        form.SaveCsv1->trigger();
        QFile csv(dialogs.saveAs);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll(), QByteArray("\xEF\xBB\xBFN,S\r\n1,row1\r\n3,row3\r\n5,row5\r\n"));
        QVERIFY(dialogs.messages.isEmpty() && dialogs.errors.isEmpty());

        form.DBGrid1->setFocus();
        form.DBGrid1->selectionModel()->select(QItemSelection(form.CurrentModel.index(1, 0), form.CurrentModel.index(2, 1)),
                                               QItemSelectionModel::ClearAndSelect);
        QTest::keyClick(form.DBGrid1, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("3\trow3\n5\trow5\n"));
    }

    // A search that takes longer than the delay shows its window; Cancel there stops it.
    void progressAndCancel()
    {
        app::IntakeProgress progress(nullptr, std::chrono::milliseconds(0));
        QVERIFY(progress({3, 120, "/data/old/"}));
        QVERIFY(progress.window() && progress.window()->isVisible());
        QVERIFY(progress.window()->labelText().contains("найдено 120"));
        QVERIFY(progress.window()->labelText().contains("/data/old/"));
        const_cast<QProgressDialog *>(progress.window())->cancel();
        QVERIFY(!progress({4, 130, "/data/older/"}));

        app::IntakeProgress quick(nullptr, std::chrono::seconds(60));
        QVERIFY(quick({1, 1, "/"}));
        QVERIFY(!quick.window());
    }

    // A folder on the command line of --pdf: searched, the notes on the error stream, the
    // report made all the same.
    void commandLineFolder()
    {
        Workspace workspace;
        QString errors;
        QTextStream stream(&errors);
        const QString pdf = workspace.path("out.pdf");
        QCOMPARE(app::exportPdf(pdf, {workspace.path("tree")}, stream), 0);
        QVERIFY(QFileInfo(pdf).size() > 0);
        QVERIFY2(errors.contains("junk.dbf") && errors.contains("b2/up»"), qPrintable(errors));
    }
};

QTEST_MAIN(IntakeWindowTest)
#include "test_intake.moc"

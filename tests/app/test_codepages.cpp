// Code pages the user chooses: the list box's context menu «Кодовая страница» (opened and
// clicked as a user would), its effect on View and Do it, --codepage on the command line, and
// the structure formats the preview's Save offers for the tables of the last build.
#include "shippedcatalogue.h"
#include "app/application.h"
#include "app/commandline.h"
#include "app/dialogs.h"
#include "app/zorviewform.h"
#include "report/layout.h"
#include "report/saveformat.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

class ScriptedDialogs final : public app::Dialogs {
public:
    QList<QStringList> answers;
    QStringList errors;
    QList<report::SaveFormat> saveFormats;
    int previews = 0;
    QStringList openFiles(QWidget *, const app::OpenDialog &) override
    {
        return answers.isEmpty() ? QStringList{} : answers.takeFirst();
    }
    void message(QWidget *, const QString &) override {}
    void error(QWidget *, const QString &text) override { errors << text; }
    void preview(QWidget *, const report::Layout &) override { ++previews; }
    void closePreview() override {}
    void setSaveFormats(const QList<report::SaveFormat> &formats) override { saveFormats = formats; }
};

// A working folder with the catalogue and two Cyrillic tables (DOS and Paradox Windows text).
class Workspace {
public:
    Workspace()
    {
        QDir::setCurrent(dir_.path());
        QDir().mkpath("Data");
        QDir().mkpath("tables");
        for (const char *file : {"ZORMain.dbf", "ZORMAIN.MDX", "ZORDet.dbf", "ZORDET.MDX"})
            copy(shippedCatalogue() + file, QStringLiteral("Data/") + file);
        copy(QStringLiteral(ZORVIK_FIXTURES "/dbase/cp866.dbf"), "tables/cp866.dbf");
        copy(QStringLiteral(ZORVIK_FIXTURES "/paradox/cyr1251.db"), "tables/cyr1251.db");
    }
    ~Workspace() { QDir::setCurrent(previous_); }
    QString path(const QString &name) const { return QDir::toNativeSeparators(dir_.filePath(name)); }

private:
    static void copy(const QString &from, const QString &to)
    {
        QVERIFY(QFile::copy(from, to));
        QFile::setPermissions(to, QFile::permissions(to) | QFile::WriteOwner);
    }
    QString previous_ = QDir::currentPath();
    QTemporaryDir dir_;
};

// Right-clicks row `row` of the list box and picks `choice` in «Кодовая страница», through the
// real popup menus. Returns the choices the submenu offered and which one was checked.
QStringList chooseInMenu(TZORViewForm &form, int row, const QString &choice, QString *checked = nullptr)
{
    QStringList offered;
    const QRect item = form.ListBox1->visualItemRect(form.ListBox1->item(row));
    emit form.ListBox1->customContextMenuRequested(item.center());
    if (!QTest::qWaitFor([] { return qobject_cast<QMenu *>(QApplication::activePopupWidget()) != nullptr; }))
        return offered;
    {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QMenu *codePages = nullptr;
        for (QAction *a : menu->actions())
            if (a->text() == QStringLiteral("Кодовая страница"))
                codePages = a->menu();
        if (codePages) {
            for (QAction *a : codePages->actions()) {
                offered << a->text();
                if (a->isChecked() && checked)
                    *checked = a->text();
            }
            for (QAction *a : codePages->actions())
                if (a->text() == choice)
                    a->trigger();
        }
        menu->close();
    }
    return offered;
}

QString cell(TZORViewForm &form, int row, int column)
{
    return form.CurrentModel.data(form.CurrentModel.index(row, column)).toString();
}

} // namespace

class CodePageTest : public QObject {
    Q_OBJECT

private slots:
    void init() { CodePageChoices.clear(); }

    void menuChangesViewForTheSession()
    {
        Workspace workspace;
        ScriptedDialogs dialogs;
        dialogs.answers << QStringList{workspace.path("tables/cp866.dbf")};
        TZORViewForm form(dialogs, {});
        form.Button1->click();

        QString checked;
        const QStringList offered = chooseInMenu(form, 0, QStringLiteral("1251"), &checked);
        QCOMPARE(offered, (QStringList{"Автоматически", "866", "1251", "KOI8-R", "437", "850", "852", "1250", "1252", "UTF-8"}));
        QCOMPARE(checked, QStringLiteral("Автоматически"));
        QCOMPARE(form.ListBox1->currentRow(), 0);

        form.Button4->click();
        QCOMPARE(dialogs.errors, QStringList{});
        QVERIFY(cell(form, 0, 0) != QStringLiteral("Иванов Иван")); // DOS letters read as Windows ones

        chooseInMenu(form, 0, QStringLiteral("866"), &checked);
        QCOMPARE(checked, QStringLiteral("1251"));
        form.Button4->click();
        QCOMPARE(cell(form, 0, 0), QStringLiteral("Иванов Иван"));

        chooseInMenu(form, 0, QStringLiteral("Автоматически"));
        QVERIFY(CodePageChoices.empty());
        form.Button4->click();
        QCOMPARE(cell(form, 0, 0), QStringLiteral("Иванов Иван"));
    }

    void menuOnEmptyListIsHarmless()
    {
        Workspace workspace;
        ScriptedDialogs dialogs;
        TZORViewForm form(dialogs, {});
        emit form.ListBox1->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(!form.CodePage1->isEnabled());
        form.PopupMenu1->close();
        QVERIFY(CodePageChoices.empty());
    }

    // Do it reads each entry in its chosen code page; the preview's Save then writes the same
    // tables' structure, with the user's choice as the verdict.
    void doItAndSaveUseTheChoice()
    {
        Workspace workspace;
        ScriptedDialogs dialogs;
        const QString table = workspace.path("tables/cyr1251.db");
        TZORViewForm form(dialogs, {table});
        app::chooseCodePages({table}, {866});     // as --codepage 866 before the table would
        form.Button3->click();
        QCOMPARE(dialogs.errors, QStringList{});
        QCOMPARE(dialogs.previews, 1);
        form.DataSource2.setEnabled(false);
        form.TablesData.First();
        QStringList names;
        for (; !form.TablesData.Eof(); form.TablesData.Next())
            names << QString::fromStdString(form.TablesData.fieldAsString("ZOR_NAME"));
        form.DataSource2.setEnabled(true);
        QCOMPARE(names.size(), 3);
        QVERIFY(names[2] != QStringLiteral("ГОРОД")); // Windows letters read as DOS ones

        QStringList filters;
        for (const report::SaveFormat &f : dialogs.saveFormats)
            filters << f.suffix;
        QCOMPARE(filters, (QStringList{"html", "md", "json", "csv"}));
        const QString out = workspace.path("saved.json");
        dialogs.saveFormats[2].write(out);
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject first = QJsonDocument::fromJson(file.readAll()).object()["tables"].toArray()[0].toObject();
        QCOMPARE(first["number"].toInt(), 1);
        QCOMPARE(first["codePage"].toObject()["codePage"].toInt(), 866);
        QCOMPARE(first["codePage"].toObject()["source"].toString(), QStringLiteral("user"));
        // The name exactly as read, and the catalogue's name as stored (letters its code page lacks as '?').
        const QJsonObject field = first["fields"].toArray()[2].toObject();
        QCOMPARE(field["catalogue"].toObject()["name"].toString(), names[2]);
        QVERIFY(field["name"].toString() != names[2]);
        QVERIFY(!field["name"].toString().contains(u'?'));

        // Back to the table's own code page: the next build reads the Windows letters right.
        CodePageChoices.clear();
        form.Button3->click();
        form.DataSource2.setEnabled(false);
        form.TablesData.First();
        form.TablesData.Next();
        form.TablesData.Next();
        QCOMPARE(QString::fromStdString(form.TablesData.fieldAsString("ZOR_NAME")), QStringLiteral("ГОРОД"));
        form.DataSource2.setEnabled(true);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QList<int>>("codePages");
        QTest::newRow("per table, auto again") << QStringList{"--export", "o.json", "a.dbf", "--codepage", "866", "b.dbf", "c.db",
                                                             "--codepage", "auto", "d.dbf"}
                                               << int(app::CommandLine::ExportStructure) << QStringList{"a.dbf", "b.dbf", "c.db", "d.dbf"}
                                               << QList<int>{0, 866, 866, 0};
        QTest::newRow("for the window") << QStringList{"--codepage", "KOI8-R", "x.dbf"} << int(app::CommandLine::Run)
                                        << QStringList{"x.dbf"} << QList<int>{20866};
        QTest::newRow("after -- a name") << QStringList{"--", "--codepage"} << int(app::CommandLine::Run)
                                         << QStringList{"--codepage"} << QList<int>{0};
        QTest::newRow("unknown code page") << QStringList{"--codepage", "1253", "x.dbf"} << int(app::CommandLine::Invalid)
                                           << QStringList{} << QList<int>{};
        QTest::newRow("code page missing") << QStringList{"x.dbf", "--codepage"} << int(app::CommandLine::Invalid)
                                           << QStringList{"x.dbf"} << QList<int>{0};
        QTest::newRow("export file missing") << QStringList{"--export"} << int(app::CommandLine::Invalid) << QStringList{}
                                             << QList<int>{};
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QStringList, files);
        QFETCH(QList<int>, codePages);
        const app::CommandLine line = app::parseCommandLine(arguments);
        QCOMPARE(int(line.action), action);
        QCOMPARE(line.files, files);
        QCOMPARE(line.codePages, codePages);
        if (action == app::CommandLine::ExportStructure)
            QCOMPARE(line.exportFile, QStringLiteral("o.json"));
    }
};

QTEST_MAIN(CodePageTest)
#include "test_codepages.moc"

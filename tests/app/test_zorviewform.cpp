// The main window: layout, start-up, the pick list, the handlers' wiring and the application's end.
#include "app/application.h"
#include "app/dialogs.h"
#include "app/zorviewform.h"
#include "catalogue/catalogue.h"
#include "report/layout.h"
#include "shippedcatalogue.h"
#include "tableprobe.h"
#include "selection/valueformatter.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <utility>
#include <set>

namespace {

using testutil::liveRecords;

// Answers the window's dialogs from a script and keeps what the window showed.
class ScriptedDialogs final : public app::Dialogs {
public:
    QList<QStringList> answers; // one per file dialog, in order; an empty list cancels
    QList<app::OpenDialog> opened;
    QStringList messages;
    QStringList errors;

    QStringList openFiles(QWidget *, const app::OpenDialog &dialog) override
    {
        opened << dialog;
        return answers.isEmpty() ? QStringList{} : answers.takeFirst();
    }
    void message(QWidget *, const QString &text) override { messages << text; }
    void error(QWidget *, const QString &text) override { errors << text; }
    // Previews shown: the pages of each. `whilePreviewing` runs as if the user acted while the
    // preview is open.
    QList<int> previews;
    int depth = 0, deepest = 0;
    std::function<void()> whilePreviewing;
    void preview(QWidget *, const report::Layout &layout) override
    {
        previews << layout.pageCount();
        deepest = std::max(deepest, ++depth);
        if (auto step = std::exchange(whilePreviewing, nullptr))
            step();
        --depth;
    }
    void closePreview() override { ++closed; }
    int closed = 0;
};

class SilentHost final : public catalogue::Host {
public:
    void showMessage(const std::string &) override {}
    void terminate() override {}
};


// A temporary working folder for one test. "tables/" holds copies of the catalogue files to
// pick: real dBASE tables with no rows.
class Workspace {
public:
    explicit Workspace(const QStringList &dataFiles = catalogueFiles)
    {
        QDir::setCurrent(dir_.path());
        copy(dataFiles, "Data");
        copy(catalogueFiles, "tables");
    }
    ~Workspace() { QDir::setCurrent(previous_); }

    QString path(const QString &name) const { return QDir::toNativeSeparators(dir_.filePath(name)); }
    QString folder(const QString &name) const { return path(name) + QDir::separator(); }

    static void copy(const QStringList &files, const QString &to)
    {
        QDir().mkpath(to);
        for (const QString &file : files) {
            const QString target = to + '/' + file;
            QVERIFY(QFile::copy(shippedCatalogue() + file, target));
            QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
        }
    }

private:
    QString previous_ = QDir::currentPath();
    QTemporaryDir dir_;
};

// Leaves a row in each catalogue table, as a previous run would.
void fillCatalogue()
{
    tables::Table main, fields;
    tables::DataSource link;
    SilentHost host;
    catalogue::setUp(main, fields, link);
    QVERIFY(catalogue::open(main, fields, host));
    catalogue::writeMainRow(main, "OLD.DBF", "/old/", 1);
    catalogue::writeFieldRow(fields, "NAME", "String", 10, 1);
}

bool catalogueIsEmpty(TZORViewForm &form)
{
    // Every field row, not only those of MainData's row.
    return liveRecords(form.MainData) == 0 && liveRecords(form.TablesData) == 0;
}

QStringList toQt(const std::vector<std::string> &list)
{
    QStringList out;
    for (const std::string &s : list)
        out << QString::fromStdString(s);
    return out;
}

QStringList items(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QStringList native(QStringList paths)
{
    for (QString &path : paths)
        path = QDir::toNativeSeparators(path);
    return paths;
}

TZORViewForm *shownForm()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *form = qobject_cast<TZORViewForm *>(widget))
            return form;
    return nullptr;
}

// Closes every real message box that appears, with OK, keeping their texts; a box that
// disappears without being answered is not counted.
class BoxCloser {
public:
    QStringList texts;
    BoxCloser()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(widget);
                if (!box || !box->isVisible())
                    continue;
                texts << box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        timer_.start(50);
    }

private:
    QTimer timer_;
};

// Calls `step` with the modal dialog every 20 ms while the message loop runs, until it returns
// true.
class WhileModal {
public:
    explicit WhileModal(std::function<bool(QWidget *)> step) : step_(std::move(step))
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (QWidget *modal = QApplication::activeModalWidget(); modal && step_ && step_(modal))
                step_ = nullptr;
        });
        timer_.start(20);
    }

private:
    std::function<bool(QWidget *)> step_;
    QTimer timer_;
};

// The names a file dialog lists, and may be chosen, in its current folder with its current filter.
QStringList listedFiles(QFileDialog *dialog)
{
    const auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
    QStringList names;
    if (!view)
        return names;
    for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row) {
        const QModelIndex index = view->model()->index(row, 0, view->rootIndex());
        if (!view->isRowHidden(row) && (index.flags() & Qt::ItemIsEnabled))
            names << index.data().toString();
    }
    names.sort(Qt::CaseInsensitive);
    return names;
}

// Counts the times the main window is shown while it lives.
class WindowShows : public QObject {
public:
    int count = 0;
    WindowShows() { qApp->installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<TZORViewForm *>(watched))
            ++count;
        return false;
    }
};

// Runs `step` as the first thing the message loop does.
template <class F>
void whenRunning(F step)
{
    QMetaObject::invokeMethod(qApp, step, Qt::QueuedConnection);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    // Every control at its place and size, with its caption.
    void layout_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");

        QTest::newRow("Label2") << "QLabel" << QRect(0, 8, 173, 13) << "1. Выберите базы, для просмотра";
        QTest::newRow("Button1") << "QPushButton" << QRect(184, 8, 97, 17) << "Добавить";
        QTest::newRow("Button6") << "QPushButton" << QRect(288, 8, 81, 17) << "Очистить";
        QTest::newRow("Label4") << "QLabel" << QRect(160, 32, 30, 13) << "Базы:";
        QTest::newRow("ListBox1") << "QListWidget" << QRect(200, 32, 169, 129) << "";
        QTest::newRow("Label1") << "QLabel" << QRect(8, 64, 91, 13) << "2. Нажмите сюда.";
        QTest::newRow("Button3") << "QPushButton" << QRect(104, 64, 65, 25) << "Делай!";
        QTest::newRow("Label3") << "QLabel" << QRect(8, 120, 44, 13) << "3. Выход";
        QTest::newRow("Button2") << "QPushButton" << QRect(64, 120, 75, 25) << "Выход";
        QTest::newRow("Image1") << "QLabel" << QRect(0, 160, 32, 32) << "";
        QTest::newRow("Label5") << "QLabel" << QRect(32, 160, 155, 13) << "Zorvik 1.0 — описание таблиц";
        QTest::newRow("Label6") << "QLabel" << QRect(32, 176, 251, 13) << "Вопросы и замечания: zorvik@example.org";
        QTest::newRow("Button4") << "QPushButton" << QRect(296, 168, 73, 17) << "Посмотреть ";
        QTest::newRow("DBGrid1") << "QTableView" << QRect(0, 195, 377, 185) << "";
        QTest::newRow("Button5") << "QPushButton" << QRect(152, 387, 75, 17) << "Достаточно";
    }

    void layout()
    {
        QFETCH(QString, kind);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        Workspace workspace;
        ScriptedDialogs dialogs;
        TZORViewForm form(dialogs, {});

        auto *control = form.findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(control);
        QCOMPARE(control->metaObject()->className(), kind);
        QCOMPARE(control->geometry(), geometry);
        if (auto *button = qobject_cast<QPushButton *>(control))
            QCOMPARE(button->text(), caption);
        if (auto *label = qobject_cast<QLabel *>(control))
            QCOMPARE(label->text(), caption);
    }

    void window()
    {
        Workspace workspace;
        ScriptedDialogs dialogs;
        TZORViewForm form(dialogs, {});

        QCOMPARE(form.objectName(), QStringLiteral("ZORViewForm"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Zorvik 1.0"));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(form.font().pixelSize(), 11);
        QCOMPARE(form.font().families().first(), QStringLiteral("MS Sans Serif"));

        const QImage icon = form.Image1->pixmap().toImage();
        QCOMPARE(icon.size(), QSize(32, 32));
        std::set<QRgb> colours;
        for (int y = 0; y < icon.height(); ++y)
            for (int x = 0; x < icon.width(); ++x)
                colours.insert(icon.pixel(x, y));
        QVERIFY(colours.size() <= 16);
        QVERIFY(!form.windowIcon().isNull());

        // The credit and contact lines are ours: they fit their labels.
        for (const QLabel *label : {form.Label5, form.Label6})
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(), qPrintable(label->text()));

        form.ListBox1->addItems({"A.DBF", "B.DBF"});
        QCOMPARE(form.ListBox1->visualItemRect(form.ListBox1->item(1)).top() - form.ListBox1->visualItemRect(form.ListBox1->item(0)).top(), 13);
        QCOMPARE(form.ListBox1->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(form.DBGrid1->editTriggers(), QAbstractItemView::NoEditTriggers);
    }

    void tabOrder()
    {
        Workspace workspace;
        ScriptedDialogs dialogs;
        TZORViewForm form(dialogs, {});

        const QStringList expected{"Button5", "DBGrid1", "Button2", "Button4", "ListBox1", "Button3", "Button1", "Button6"};
        QStringList order;
        QWidget *widget = form.Button5;
        do {
            if ((widget->focusPolicy() & Qt::TabFocus) && widget->parentWidget() == &form)
                order << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget != form.Button5);
        QCOMPARE(order, expected);
    }

    // The compact height ends below the credit lines: the grid and Enough lie outside it.
    void heights()
    {
        Workspace workspace;
        ScriptedDialogs dialogs;
        TZORViewForm form(dialogs, {});
        const QList<QWidget *> below{form.DBGrid1, form.Button5};

        QCOMPARE(form.size(), QSize(379, 189));
        for (QWidget *control : form.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            QCOMPARE(control->y() < form.height(), !below.contains(control));

        form.setFullHeight();
        QCOMPARE(form.size(), QSize(379, 408));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        for (QWidget *control : form.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            QVERIFY(control->geometry().bottom() < form.height());

        form.setCompactHeight();
        QCOMPARE(form.size(), QSize(379, 189));
    }

    // Start-up with an intact catalogue: compact, the catalogue emptied, the command line listed.
    void startUp_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("folders");

        QTest::newRow("no arguments") << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("one argument") << native({"/data/CLIENTS.DBF"}) << QStringList{"CLIENTS.DBF"} << native({"/data/"});
        QTest::newRow("several, in order") << native({"/data/B.DBF", "/other/Заказы.db", "/data/B.DBF"})
                                           << QStringList{"B.DBF", "Заказы.db", "B.DBF"}
                                           << native({"/data/", "/other/", "/data/"});
        QTest::newRow("without a folder") << QStringList{"orders.db"} << QStringList{"orders.db"} << QStringList{""};
    }

    void startUp()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, names);
        QFETCH(QStringList, folders);
        Workspace workspace;
        fillCatalogue();
        ScriptedDialogs dialogs;
        FilesChosen = true;

        TZORViewForm form(dialogs, arguments);

        QCOMPARE(dialogs.messages, QStringList{});
        QVERIFY(!form.terminateRequested());
        QVERIFY(!form.isVisible());
        QCOMPARE(form.size(), QSize(379, 189));
        QVERIFY(catalogueIsEmpty(form));
        QCOMPARE(items(form.ListBox1), names);
        QCOMPARE(toQt(NameList), names);
        QCOMPARE(toQt(PathList), folders);
        QVERIFY(!FilesChosen);
    }

    // A name too long for the list box is cut in its middle, keeping the extension; the entry's
    // tooltip gives the whole path, a bare name's from the current folder.
    void listBoxLongNames()
    {
        Workspace workspace;
        ScriptedDialogs dialogs;
        const QString longName = QStringLiteral("/data/Очень_длинное_имя_таблицы_клиентов_2024.dbf");
        TZORViewForm form(dialogs, native({longName, "orders.db"}));

        QCOMPARE(form.ListBox1->textElideMode(), Qt::ElideMiddle);
        QCOMPARE(form.ListBox1->item(0)->toolTip(), QDir::toNativeSeparators(longName));
        QCOMPARE(form.ListBox1->item(1)->toolTip(), workspace.path("orders.db"));
        QCOMPARE(form.ListBox1->item(0)->text(), QStringLiteral("Очень_длинное_имя_таблицы_клиентов_2024.dbf"));
        // Shown, the entry stays inside the box, with no scroll bar to reach its end.
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.ListBox1->visualItemRect(form.ListBox1->item(0)).width() <= form.ListBox1->viewport()->width());
        QVERIFY(!form.ListBox1->horizontalScrollBar()->isVisible());
    }

    // Add, several times, and Clear.
    void add_data()
    {
        QTest::addColumn<QList<QStringList>>("answers");
        QTest::addColumn<bool>("clearAfter");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<bool>("chosen");

        const QStringList a = native({"/d/A.DBF"});
        QTest::newRow("three files in one folder") << QList<QStringList>{native({"/d/A.DBF", "/d/B.DB", "/d/C.dbf"})} << false
                                                   << QStringList{"A.DBF", "B.DB", "C.dbf"} << native({"/d/", "/d/", "/d/"}) << true;
        QTest::newRow("the same file twice") << QList<QStringList>{a, a} << false << QStringList{"A.DBF", "A.DBF"}
                                             << native({"/d/", "/d/"}) << true;
        QTest::newRow("then a cancelled Add") << QList<QStringList>{a, {}} << false << QStringList{"A.DBF"} << native({"/d/"})
                                              << false;
        QTest::newRow("cancelled") << QList<QStringList>{{}} << false << QStringList{} << QStringList{} << false;
        QTest::newRow("Clear after Add") << QList<QStringList>{native({"/d/A.DBF", "/e/B.DB"})} << true << QStringList{}
                                         << QStringList{} << true;
        QTest::newRow("Clear after a cancelled Add") << QList<QStringList>{a, {}} << true << QStringList{} << QStringList{}
                                                     << false;
    }

    void add()
    {
        QFETCH(QList<QStringList>, answers);
        QFETCH(bool, clearAfter);
        QFETCH(QStringList, names);
        QFETCH(QStringList, folders);
        QFETCH(bool, chosen);
        Workspace workspace;
        ScriptedDialogs dialogs;
        dialogs.answers = answers;
        TZORViewForm form(dialogs, {});

        for (qsizetype i = 0; i < answers.size(); ++i)
            form.Button1->click();
        if (clearAfter)
            form.Button6->click();

        QCOMPARE(items(form.ListBox1), names);
        QCOMPARE(toQt(NameList), names);
        QCOMPARE(toQt(PathList), folders);
        QCOMPARE(FilesChosen, chosen);
        QCOMPARE(dialogs.errors, QStringList{});
        QCOMPARE(dialogs.opened.size(), answers.size());
        for (const app::OpenDialog &dialog : dialogs.opened) {
            QCOMPARE(dialog.Title, QStringLiteral("Выберите таблицы"));
            QCOMPARE(dialog.Filter, QStringLiteral("DBF files [*.dbf]|*.dbf|Paradox files [*.db]|*.db|All filers [*.*]|*.*"));
            QCOMPARE(dialog.DefaultExt, QStringLiteral("*.*"));
        }
    }

    // The real file dialog of Add: the filters read as designed, each lists the files of its
    // kind in either letter case, and the files chosen come back with their folder.
    void realFileDialog()
    {
        Workspace workspace;
        QDir().mkpath("pick");
        const QStringList names{"a.dbf", "B.DBF", "c.db", "D.DB", "e.txt"};
        for (const QString &name : names) {
            QFile file("pick/" + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        ScriptedDialogs scripted;
        TZORViewForm form(scripted, {});
        app::QtDialogs dialogs;
        QStringList shownFilters, title;
        QList<QStringList> listed;
        qsizetype stage = 0;
        WhileModal answer([&](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            if (!dialog)
                return false;
            if (title.isEmpty()) {
                title << dialog->windowTitle();
                const auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
                for (int i = 0; types && i < types->count(); ++i)
                    shownFilters << types->itemText(i);
                dialog->setDirectory(workspace.path("pick"));
                dialog->selectNameFilter(dialog->nameFilters().last());
            }
            // The list follows the folder and the filter a moment later: one step per tick.
            if (stage == 0 && listedFiles(dialog).size() < names.size())
                return false;   // still reading the folder
            const QStringList filters = dialog->nameFilters();
            if (stage > 0)
                listed << listedFiles(dialog);
            if (stage < filters.size()) {
                dialog->selectNameFilter(filters[stage++]);
                return false;
            }
            dialog->selectNameFilter(filters.first());
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("\"a.dbf\" \"B.DBF\""));
            static_cast<QDialog *>(dialog)->accept();
            return true;
        });

        const QStringList chosen = dialogs.openFiles(&form, form.OpenDialog1);

        QCOMPARE(title, QStringList{"Выберите таблицы"});
        QCOMPARE(shownFilters, (QStringList{"DBF files [*.dbf]", "Paradox files [*.db]", "All filers [*.*]"}));
        QCOMPARE(listed, (QList<QStringList>{{"a.dbf", "B.DBF"}, {"c.db", "D.DB"}, names}));
        QCOMPARE(chosen, (QStringList{QDir(workspace.path("pick")).filePath("a.dbf"),
                                      QDir(workspace.path("pick")).filePath("B.DBF")}));
    }

    // With Qt's translations loaded at start-up, Qt's own dialogs speak Russian too.
    void standardDialogsInRussian()
    {
        Workspace workspace;
        QVERIFY(app::installQtTranslations());
        ScriptedDialogs scripted;
        TZORViewForm form(scripted, {});
        app::QtDialogs dialogs;
        QStringList texts;
        WhileModal answer([&](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            if (!dialog)
                return false;
            for (const QAbstractButton *button : dialog->findChild<QDialogButtonBox *>()->buttons())
                texts << button->text();
            texts << dialog->findChild<QLabel *>(QStringLiteral("fileTypeLabel"))->text();
            dialog->reject();
            return true;
        });

        QVERIFY(dialogs.openFiles(&form, form.OpenDialog1).isEmpty());

        QCOMPARE(texts.size(), 3);
        for (const QString &text : texts)
            QVERIFY2(text.contains(QRegularExpression(QStringLiteral("^[^A-Za-z]*[А-Яа-я][^A-Za-z]*$"))), qPrintable(text));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Open"), QStringLiteral("Открыть"));
    }

    // View acts only after a confirmed Add and on a selected entry; Enough shrinks the window.
    void view_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("opened");    // folder Current is opened in, or empty for none
        QTest::addColumn<int>("errors");

        const QString main = QStringLiteral("tables/ZORMain.dbf");
        QTest::newRow("files from the command line only") << QStringList{main} << QStringList{} << 0 << "" << 0;
        QTest::newRow("nothing selected") << QStringList{} << QStringList{main} << -1 << "" << 0;
        QTest::newRow("selected after Add") << QStringList{} << QStringList{main} << 0 << "tables" << 0;
        QTest::newRow("a name listed twice opens the first") << QStringList{} << QStringList{main, "elsewhere/ZORMain.dbf"}
                                                             << 1 << "tables" << 0;
        QTest::newRow("a file that is gone") << QStringList{} << QStringList{"tables/GONE.DBF"} << 0 << "" << 1;
    }

    void view()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, added);
        QFETCH(int, selected);
        QFETCH(QString, opened);
        QFETCH(int, errors);
        Workspace workspace;
        const auto inWorkspace = [&](QStringList files) {
            for (QString &file : files)
                file = workspace.path(file);
            return files;
        };
        ScriptedDialogs dialogs;
        if (!added.isEmpty())
            dialogs.answers << inWorkspace(added);
        TZORViewForm form(dialogs, inWorkspace(arguments));
        if (!added.isEmpty())
            form.Button1->click();
        if (selected >= 0)
            form.ListBox1->setCurrentRow(selected);

        form.Button4->click();

        QCOMPARE(dialogs.errors.size(), errors);
        for (const QString &error : dialogs.errors)
            QVERIFY(error.endsWith(u'.'));
        QCOMPARE(form.Current.Active(), !opened.isEmpty());
        QCOMPARE(form.height(), opened.isEmpty() ? 189 : 408);
        if (opened.isEmpty())
            return;
        QCOMPARE(QString::fromStdString(form.Current.DatabaseName), workspace.folder(opened));
        QCOMPARE(form.Current.TableName, std::string("ZORMain.dbf"));

        form.Button5->click();
        QCOMPARE(form.height(), 189);
        QVERIFY(form.Current.Active());
    }

    // The grid shows Current: the table View opened, the last one a build scanned, nothing
    // after a View that failed.
    void grid()
    {
        Workspace workspace;
        const QString cp866 = QStringLiteral(ZORVIK_FIXTURES "/dbase/cp866.dbf");
        const QString paradox = QStringLiteral(ZORVIK_FIXTURES "/paradox/alltypes.db");
        ScriptedDialogs dialogs;
        dialogs.answers << QStringList{native({cp866, paradox, workspace.path("tables/GONE.DBF")})};
        TZORViewForm form(dialogs, {});
        form.Button1->click();
        const QAbstractItemModel *grid = form.DBGrid1->model();
        QCOMPARE(grid, static_cast<const QAbstractItemModel *>(&form.CurrentModel));
        QCOMPARE(grid->rowCount(), 0);

        form.ListBox1->setCurrentRow(0);
        form.Button4->click();
        QCOMPARE(form.height(), 408);
        QCOMPARE(grid->rowCount(), 3);
        QCOMPARE(grid->headerData(0, Qt::Horizontal).toString(), QStringLiteral("NAME"));
        QCOMPARE(grid->index(0, 0).data().toString(), QStringLiteral("Иванов Иван"));
        QVERIFY(!(grid->flags(grid->index(0, 0)) & Qt::ItemIsEditable));

        form.Button5->click();
        QCOMPARE(form.height(), 189);
        form.ListBox1->setCurrentRow(1);
        form.Button4->click();
        QCOMPARE(form.height(), 408);
        QCOMPARE(grid->columnCount(), 18);
        QCOMPARE(grid->index(0, 0).data().toString(), QStringLiteral("Hello Paradox"));

        // A table that cannot be opened: the error box, the height kept, the grid empty.
        form.ListBox1->setCurrentRow(2);
        form.Button4->click();
        QCOMPARE(dialogs.errors.size(), 1);
        QVERIFY(!form.Current.Active());
        QCOMPARE(form.height(), 408);
        QCOMPARE(grid->rowCount(), 0);

        // After a build the grid shows the last table the build scanned.
        form.Button6->click();
        dialogs.answers << QStringList{native({paradox, cp866})};
        form.Button1->click();
        form.Button3->click();
        QCOMPARE(dialogs.errors.size(), 1);
        QCOMPARE(form.Current.TableName, std::string("cp866.dbf"));
        QCOMPARE(grid->rowCount(), 3);
        QCOMPARE(grid->index(2, 1).data().toString(), QStringLiteral("Ярославль"));
    }

    // The grid looks like a data grid: a marker at the current row and nothing on the others,
    // left-aligned titles, columns as wide as their fields (and their titles), none wider than
    // the grid.
    void gridLook()
    {
        Workspace workspace;
        const QString paradox = QStringLiteral(ZORVIK_FIXTURES "/paradox/alltypes.db");
        ScriptedDialogs dialogs;
        dialogs.answers << QStringList{QDir::toNativeSeparators(paradox)};
        TZORViewForm form(dialogs, {});
        form.Button1->click();
        form.ListBox1->setCurrentRow(0);
        form.Button4->click();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTableView *grid = form.DBGrid1;
        QVERIFY(grid->model()->rowCount() >= 2);

        QVERIFY(grid->horizontalHeader()->defaultAlignment() & Qt::AlignLeft);
        const QFontMetrics cells(grid->font()), titles(grid->horizontalHeader()->font());
        const int zero = cells.horizontalAdvance(QLatin1Char('0'));
        const int widest = grid->width();
        for (int column = 0; column < grid->model()->columnCount(); ++column) {
            const QString title = grid->model()->headerData(column, Qt::Horizontal).toString();
            const tables::FieldDef *field = form.CurrentModel.field(column);
            QVERIFY(field);
            const int width = grid->columnWidth(column);
            QVERIFY2(width >= std::min(widest - 20, titles.horizontalAdvance(title)), qPrintable(title));
            QVERIFY2(width >= std::min(widest - 20, selection::displayWidth(*field) * zero), qPrintable(title));
            QVERIFY2(width <= widest, qPrintable(title));
        }
        // ALPHA holds 20 characters, the short integer at most six.
        QVERIFY(grid->columnWidth(0) >= 20 * zero);
        QVERIFY(grid->columnWidth(2) < 20 * zero);

        // Dark pixels in the row indicator, row by row: the marker's on the current row only.
        const auto darkIn = [&](int row) {
            const QHeaderView *indicator = grid->verticalHeader();
            const QImage image = indicator->viewport()->grab().toImage();
            const int top = indicator->sectionViewportPosition(row), height = indicator->sectionSize(row);
            int dark = 0;
            for (int y = top + 2; y < top + height - 2; ++y)
                for (int x = 2; x < image.width() - 2; ++x)
                    dark += qGray(image.pixel(x, y)) < 90;
            return dark;
        };
        QVERIFY(darkIn(0) > 0);
        QCOMPARE(darkIn(1), 0);
        grid->setCurrentIndex(grid->model()->index(1, 0));
        QCOMPARE(darkIn(0), 0);
        QVERIFY(darkIn(1) > 0);
    }

    // Do it reads every picked table through Current into the catalogue.
    void doIt_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("tables");
        QTest::addColumn<int>("errors");

        QTest::newRow("empty pick list") << QStringList{} << 0 << 0;
        QTest::newRow("two tables") << QStringList{"tables/ZORMain.dbf", "tables/ZORDet.dbf"} << 2 << 0;
        QTest::newRow("a bare name is read from the current folder") << QStringList{"ZORDet.dbf"} << 1 << 0;
        QTest::newRow("a missing table stops the build") << QStringList{"tables/ZORMain.dbf", "tables/GONE.DBF"} << 1 << 1;
    }

    void doIt()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, tables);
        QFETCH(int, errors);
        Workspace workspace;
        Workspace::copy({"ZORDet.dbf", "ZORDET.MDX"}, ".");
        ScriptedDialogs dialogs;
        TZORViewForm form(dialogs, native(arguments));

        form.Button3->click();

        QCOMPARE(dialogs.errors.size(), errors);
        QCOMPARE(liveRecords(form.MainData), tables);
        // A build that went through ends in the preview; a failed one does not.
        QCOMPARE(dialogs.previews.size(), errors ? 0 : 1);
    }

    // Do it again while the preview is open: that preview closes and one more build follows
    // after it, never inside it.
    void doItWhilePreviewing()
    {
        Workspace workspace;
        ScriptedDialogs dialogs;
        TZORViewForm form(dialogs, native({workspace.path("tables/ZORMain.dbf")}));
        dialogs.whilePreviewing = [&] {
            form.Button3->click();
            QCOMPARE(dialogs.closed, 1);
            QCOMPARE(liveRecords(form.MainData), 1);  // the shown catalogue was not touched
        };
        form.Button3->click();
        QCOMPARE(dialogs.previews.size(), 2);
        QCOMPARE(dialogs.deepest, 1);
        QCOMPARE(liveRecords(form.MainData), 1);
    }

    // With Data/ or one of its tables missing: the messages, then the end without the window.
    void missingCatalogue_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("messages");

        const QString main = QStringLiteral("Не могу открыть файл ZORMain.dbf из поддиректории Data\\");
        const QString fields = QStringLiteral("Не могу открыть файл ZORDet.dbf из поддиректории Data\\");
        QTest::newRow("no Data folder") << QStringList{} << QStringList{main, fields};
        QTest::newRow("no ZORMain.dbf") << QStringList{"ZORDet.dbf", "ZORDET.MDX"} << QStringList{main};
        QTest::newRow("no ZORDet.dbf") << QStringList{"ZORMain.dbf", "ZORMAIN.MDX"} << QStringList{fields};
    }

    void missingCatalogue()
    {
        QFETCH(QStringList, present);
        QFETCH(QStringList, messages);
        Workspace workspace(present);
        ScriptedDialogs dialogs;
        WindowShows shows;

        const int status = app::run({}, dialogs);

        QVERIFY(status != 0);
        QCOMPARE(dialogs.messages, messages);
        QCOMPARE(dialogs.errors, QStringList{});
        QCOMPARE(shows.count, 0);
    }

    // The same through the real message boxes: each stays until its OK is pressed, then the run
    // ends with a failure status.
    void missingCatalogueRealBoxes()
    {
        Workspace workspace{QStringList{}};
        app::QtDialogs dialogs;
        BoxCloser closer;
        WindowShows shows;

        const int status = app::run({}, dialogs);

        QVERIFY(status != 0);
        QCOMPARE(closer.texts, (QStringList{"Не могу открыть файл ZORMain.dbf из поддиректории Data\\",
                                            "Не могу открыть файл ZORDet.dbf из поддиректории Data\\"}));
        QCOMPARE(shows.count, 0);
    }

    // Tables opened from a file manager ("Open with", the run's `openWith`) are listed as a
    // confirmed Add: View shows the selected one at once. A start from the menu hands over no
    // files and leaves View waiting for an Add, as does a plain command line.
    void openWith_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("openWith");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("viewed");

        const QStringList two{"tables/ZORMain.dbf", "tables/ZORDet.dbf"};
        QTest::newRow("two tables opened with Zorvik") << two << true << QStringList{"ZORMain.dbf", "ZORDet.dbf"} << true;
        QTest::newRow("a start from the menu") << QStringList{} << true << QStringList{} << false;
        QTest::newRow("the same tables on a plain command line") << two << false
                                                                 << QStringList{"ZORMain.dbf", "ZORDet.dbf"} << false;
    }

    void openWith()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, openWith);
        QFETCH(QStringList, names);
        QFETCH(bool, viewed);
        Workspace workspace;
        for (QString &file : files)
            file = workspace.path(file);
        ScriptedDialogs dialogs;
        QStringList listed;
        bool chosen = !viewed, opened = !viewed;
        QString folder;
        whenRunning([&] {
            TZORViewForm *form = shownForm();
            if (!form || !form->isVisible()) {
                QCoreApplication::exit(99);
                return;
            }
            listed = items(form->ListBox1);
            chosen = FilesChosen;
            form->ListBox1->setCurrentRow(0);
            form->Button4->click();
            opened = form->Current.Active();
            folder = QString::fromStdString(form->Current.DatabaseName);
            form->Button2->click();
        });

        QCOMPARE(app::run(files, dialogs, {}, openWith), 0);
        QCOMPARE(listed, names);
        QCOMPARE(chosen, viewed);
        QCOMPARE(opened, viewed);
        if (viewed)
            QCOMPARE(folder, workspace.folder("tables"));
        QCOMPARE(dialogs.errors, QStringList{});
        QVERIFY(dialogs.opened.isEmpty());
    }

    // Exit, here while a table is shown in the grid, ends the run normally.
    void exit()
    {
        Workspace workspace;
        ScriptedDialogs dialogs;
        dialogs.answers << QStringList{workspace.path("tables/ZORMain.dbf")};
        QSize shownSize, viewSize;
        whenRunning([&] {
            TZORViewForm *form = shownForm();
            if (!form || !form->isVisible()) {
                QCoreApplication::exit(99);
                return;
            }
            shownSize = form->size();
            form->Button1->click();
            form->ListBox1->setCurrentRow(0);
            form->Button4->click();
            viewSize = form->size();
            form->Button2->click();
        });

        QCOMPARE(app::run({}, dialogs), 0);
        QCOMPARE(shownSize, QSize(379, 189));
        QCOMPARE(viewSize, QSize(379, 408));
        QCOMPARE(dialogs.errors, QStringList{});
    }
};

QTEST_MAIN(WindowTest)
#include "test_zorviewform.moc"

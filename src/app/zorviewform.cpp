#include "app/zorviewform.h"

#include "app/buildprogress.h"
#include "app/datagrid.h"
#include "app/folderintake.h"
#include "app/icon.h"
#include "app/locale.h"
#include "app/records.h"
#include "catalogue/documentation.h"
#include "export/structure.h"
#include "tables/codepagechoice.h"
#include "report/cataloguereport.h"
#include "selection/csvexport.h"
#include "selection/intake.h"
#include "selection/picklist.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QKeyEvent>
#include <QListWidget>
#include <QActionGroup>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QTableView>

#include <algorithm>
#include <cstdlib>
#include <utility>

std::vector<std::string> NameList;
std::vector<std::string> PathList;
bool FilesChosen = false;
std::map<std::string, int> CodePageChoices;

namespace {

// "MS Sans Serif" 8 point at 96 dpi, or the closest sans-serif face the system has.
QFont formFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

// Rows of ListBox1 are 13 pixels high whatever the font, and no wider than the box, so that a
// long name is shortened rather than scrolled.
class FixedRowHeight final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const auto *view = qobject_cast<const QAbstractItemView *>(option.widget);
        const int width = QStyledItemDelegate::sizeHint(option, index).width();
        return {view ? std::min(width, view->viewport()->width()) : width, 13};
    }
};

template <class Control>
Control *place(QWidget *form, const char *name, int left, int top, int width, int height)
{
    auto *control = new Control(form);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(left, top, width, height);
    return control;
}

QLabel *label(QWidget *form, const char *name, int left, int top, int width, int height, const QString &caption)
{
    QLabel *control = place<QLabel>(form, name, left, top, width, height);
    control->setText(caption);
    control->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return control;
}

QPushButton *button(QWidget *form, const char *name, int left, int top, int width, int height, const QString &caption)
{
    QPushButton *control = place<QPushButton>(form, name, left, top, width, height);
    control->setText(caption);
    return control;
}

} // namespace

TZORViewForm::TZORViewForm(app::Dialogs &dialogs, const QStringList &files, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      dialogs_(dialogs)
{
    createControls();
    OpenDialog1.Title = QStringLiteral("Выберите таблицы");
    OpenDialog1.Filter = QStringLiteral("DBF files [*.dbf]|*.dbf|Paradox files [*.db]|*.db|All filers [*.*]|*.*");
    OpenDialog1.DefaultExt = QStringLiteral("*.*");
    DataSource1.setDataSet(&Current);
    CurrentModel.setLocale(app::userLocale());
    // A damaged record area is said once per opening, after the rows before it are shown.
    connect(&CurrentModel, &selection::TableModel::damageFound, this,
            [this](const QString &message) { dialogs_.message(this, message); });

    connect(Button1, &QPushButton::clicked, this, guarded(&TZORViewForm::Button1Click));
    connect(Button2, &QPushButton::clicked, this, guarded(&TZORViewForm::Button2Click));
    connect(Button3, &QPushButton::clicked, this, guarded(&TZORViewForm::Button3Click));
    connect(Button4, &QPushButton::clicked, this, guarded(&TZORViewForm::Button4Click));
    connect(Button5, &QPushButton::clicked, this, guarded(&TZORViewForm::Button5Click));
    connect(Button6, &QPushButton::clicked, this, guarded(&TZORViewForm::Button6Click));
    createMenus();
    setAcceptDrops(true);

    FormCreate(files);
}

TZORViewForm::~TZORViewForm() = default;

// The window as designed: client pixels at 96 dpi, never rescaled.
void TZORViewForm::createControls()
{
    setObjectName(QStringLiteral("ZORViewForm"));
    setWindowTitle(QStringLiteral("Zorvik 1.0"));
    setWindowIcon(app::applicationIcon());
    setFont(formFont());
    move(248, 137);
    setFullHeight();

    Label2 = label(this, "Label2", 0, 8, 173, 13, QStringLiteral("1. Выберите базы, для просмотра"));
    Button1 = button(this, "Button1", 184, 8, 97, 17, QStringLiteral("Добавить"));
    Button6 = button(this, "Button6", 288, 8, 81, 17, QStringLiteral("Очистить"));
    Label4 = label(this, "Label4", 160, 32, 30, 13, QStringLiteral("Базы:"));
    ListBox1 = place<QListWidget>(this, "ListBox1", 200, 32, 169, 129);
    Label1 = label(this, "Label1", 8, 64, 91, 13, QStringLiteral("2. Нажмите сюда."));
    Button3 = button(this, "Button3", 104, 64, 65, 25, QStringLiteral("Делай!"));
    Label3 = label(this, "Label3", 8, 120, 44, 13, QStringLiteral("3. Выход"));
    Button2 = button(this, "Button2", 64, 120, 75, 25, QStringLiteral("Выход"));
    Image1 = place<QLabel>(this, "Image1", 0, 160, 32, 32);
    Label5 = label(this, "Label5", 32, 160, 155, 13, report::catalogueCreditLine());
    Label6 = label(this, "Label6", 32, 176, 251, 13, report::catalogueContactLine());
    Button4 = button(this, "Button4", 296, 168, 73, 17, QStringLiteral("Посмотреть "));
    DBGrid1 = place<QTableView>(this, "DBGrid1", 0, 195, 377, 185);
    Button5 = button(this, "Button5", 152, 387, 75, 17, QStringLiteral("Достаточно"));

    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setSortingEnabled(false);
    ListBox1->setUniformItemSizes(true);
    // A long name keeps its beginning and its extension; the tooltip has the whole path.
    ListBox1->setTextElideMode(Qt::ElideMiddle);
    ListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListBox1->setItemDelegate(new FixedRowHeight(ListBox1));
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    Image1->setPixmap(app::applicationIcon());
    DBGrid1->setModel(&CurrentModel);
    DBGrid1->horizontalHeader()->setFont(formFont());
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setShowGrid(true);
    app::makeDataGrid(*DBGrid1);
    connect(&CurrentModel, &QAbstractItemModel::modelReset, this, [this] { app::fitColumns(*DBGrid1, CurrentModel); });
    // Rows as tall as the form's text and a margin, like a data grid at this font.
    DBGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGrid1->verticalHeader()->setDefaultSectionSize(18);
    DBGrid1->horizontalHeader()->setFixedHeight(18);

    for (QWidget *label : {Label1, Label2, Label3, Label4, Label5, Label6, Image1})
        label->setFocusPolicy(Qt::NoFocus);
    QWidget::setTabOrder(Button5, DBGrid1);
    QWidget::setTabOrder(DBGrid1, Button2);
    QWidget::setTabOrder(Button2, Button4);
    QWidget::setTabOrder(Button4, ListBox1);
    QWidget::setTabOrder(ListBox1, Button3);
    QWidget::setTabOrder(Button3, Button1);
    QWidget::setTabOrder(Button1, Button6);
}

void TZORViewForm::setCompactHeight()
{
    setFixedSize(ClientWidth, CompactHeight);
}

void TZORViewForm::setFullHeight()
{
    setFixedSize(ClientWidth, FullHeight);
}

void TZORViewForm::FormCreate(const QStringList &files)
{
    Catalogue.open(*this);
    NameList.clear();
    PathList.clear();
    ListBox1->clear();
    setCompactHeight();
    FilesChosen = false;
    Catalogue.empty();
    for (const QString &file : files)
        appendToPickList(file);
}

// Add
void TZORViewForm::Button1Click()
{
    FilesChosen = false;
    const QStringList files = dialogs_.openFiles(this, OpenDialog1);
    if (files.isEmpty())
        return;
    for (const QString &file : files)
        appendToPickList(file);
    FilesChosen = true;
}

// Exit
void TZORViewForm::Button2Click()
{
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

// Do it: the catalogue of the picked tables, then its report. Pressed again while the report
// is still shown, it closes that preview and builds anew once the first build has returned from
// it, so builds never nest and a preview never shows a catalogue being rebuilt.
void TZORViewForm::Button3Click()
{
    if (building_) {
        buildAgain_ = true;
        dialogs_.closePreview();
        return;
    }
    const QScopedValueRollback busy(building_, true);
    do {
        buildAgain_ = false;
        report::Layout pages;
        {
            app::BuildProgress progress(this);
            // The grid, if shown, follows Current to the last table scanned, whether or not all went well.
            const auto followCurrent = qScopeGuard([this] { CurrentModel.reset(); });
            pages = Catalogue.build(NameList, PathList, std::ref(progress), QDateTime::currentDateTime(), app::userLocale(),
                                    [this](size_t i) { return codePageOf(i); });
        }
        offerStructureFormats();
        dialogs_.preview(this, pages);
    } while (buildAgain_);
}

// View: the selected table in the grid, at full height.
void TZORViewForm::Button4Click()
{
    const QList<QListWidgetItem *> selected = ListBox1->selectedItems();
    if (!FilesChosen || selected.isEmpty())
        return;
    const std::string name = selected.first()->text().toStdString();
    const int position = selection::indexOfName(NameList, name);
    if (position < 0)
        return;
    Current.Close();
    CurrentModel.reset();   // the grid is empty should the opening fail
    Current.DatabaseName = PathList[position];
    Current.TableType = tables::ttDefault;
    Current.TableName = name;
    Current.CodePage = codePageOf(size_t(position));
    Current.Open();
    CurrentModel.reset();
    setFullHeight();
}

// Enough: the grid out of sight; Current stays open.
void TZORViewForm::Button5Click()
{
    setCompactHeight();
}

// Clear: FilesChosen keeps its value.
void TZORViewForm::Button6Click()
{
    ListBox1->clear();
    NameList.clear();
    PathList.clear();
}

// The context menus of the list box and the grid. Their entries are checked as each opens.
void TZORViewForm::createMenus()
{
    PopupMenu1 = new QMenu(ListBox1);
    AddFolder1 = PopupMenu1->addAction(QStringLiteral("Добавить папку…"));
    Remove1 = PopupMenu1->addAction(QStringLiteral("Убрать из списка"));
    connect(AddFolder1, &QAction::triggered, this, guarded(&TZORViewForm::AddFolder1Click));
    connect(Remove1, &QAction::triggered, this, guarded(&TZORViewForm::Remove1Click));
    CodePage1 = PopupMenu1->addMenu(QStringLiteral("Кодовая страница"));
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] {
        Remove1->setEnabled(!ListBox1->selectedItems().isEmpty());
        fillCodePageMenu(ListBox1->selectedItems().isEmpty() ? -1 : ListBox1->currentRow());
    });
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) { ListBox1ContextPopup(pos); });

    PopupMenu2 = new QMenu(DBGrid1);
    SaveCsv1 = PopupMenu2->addAction(QStringLiteral("Сохранить записи в CSV…"));
    Copy1 = PopupMenu2->addAction(QStringLiteral("Копировать"));
    Copy1->setShortcut(QKeySequence::Copy);
    connect(SaveCsv1, &QAction::triggered, this, guarded(&TZORViewForm::SaveCsv1Click));
    connect(Copy1, &QAction::triggered, this, guarded(&TZORViewForm::Copy1Click));
    connect(PopupMenu2, &QMenu::aboutToShow, this, [this] {
        SaveCsv1->setEnabled(Current.Active());
        Copy1->setEnabled(DBGrid1->selectionModel()->hasSelection());
    });
    DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DBGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu2->popup(DBGrid1->viewport()->mapToGlobal(at)); });
    DBGrid1->installEventFilter(this);
}

// A folder and every table below it, like a confirmed Add.
void TZORViewForm::AddFolder1Click()
{
    FilesChosen = false;
    const QString folder = dialogs_.openFolder(this, QStringLiteral("Выберите папку с таблицами"));
    if (folder.isEmpty())
        return;
    addPaths({folder});
}

// The selected entry leaves the list box and both lists together.
void TZORViewForm::Remove1Click()
{
    const QList<QListWidgetItem *> selected = ListBox1->selectedItems();
    if (selected.isEmpty())
        return;
    const int position = ListBox1->row(selected.first());
    delete ListBox1->takeItem(position);
    NameList.erase(NameList.begin() + position);
    PathList.erase(PathList.begin() + position);
}

// Every live record of the table the grid shows, to a CSV file the user names.
void TZORViewForm::SaveCsv1Click()
{
    const tables::RecordSource *source = Current.source();
    if (!source)
        return;
    const QString file = dialogs_.saveFile(this, QStringLiteral("Сохранить записи в CSV"),
                                           QStringLiteral("CSV (*.csv)"), app::suggestedCsvName(Current));
    if (file.isEmpty())
        return;
    app::CsvProgressWindow progress(this);
    const QString problem = app::csvProblemText(selection::saveCsv(*source, file, std::ref(progress)));
    if (!problem.isEmpty())
        dialogs_.message(this, problem);
}

// The selected cells as tab-separated text.
void TZORViewForm::Copy1Click()
{
    const QString text = selection::copiedCells(CurrentModel, DBGrid1->selectionModel()->selectedIndexes());
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void TZORViewForm::FormDragDrop()
{
    FilesChosen = false;
    addPaths(std::exchange(dropped_, {}));
}

// Files as they are named, folders searched for tables; appended as a confirmed Add. A
// cancelled search adds nothing; what was skipped, or that nothing was found, is said once.
void TZORViewForm::addPaths(const QStringList &paths)
{
    app::IntakeProgress progress(this);
    const selection::Intake intake = selection::expandPaths(app::toPaths(paths), std::ref(progress));
    if (intake.cancelled)
        return;
    for (const std::string &path : intake.paths)
        appendToPickList(QString::fromStdString(path));
    FilesChosen = true;
    if (!intake.notes.empty() || intake.paths.empty())
        dialogs_.message(this, selection::intakeSummary(intake));
}

// Refused while a build reads the tables: the pick list it walks stays as it is.
void TZORViewForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (app::BuildProgress::running())
        return;
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && std::all_of(urls.begin(), urls.end(), [](const QUrl &url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

// The drop is taken at once; the search runs from the event loop, after the dragging program
// has been answered.
void TZORViewForm::dropEvent(QDropEvent *event)
{
    if (app::BuildProgress::running())
        return;
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << QDir::cleanPath(url.toLocalFile());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    QMetaObject::invokeMethod(this, [this, paths] {
        dropped_ = paths;
        guarded(&TZORViewForm::FormDragDrop)();
    }, Qt::QueuedConnection);
}

// Ctrl+C in the grid copies the selected cells (the grid's own copy takes only the current one).
bool TZORViewForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == DBGrid1 && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        guarded(&TZORViewForm::Copy1Click)();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TZORViewForm::openWith(const QStringList &files)
{
    if (files.isEmpty())
        return;
    for (const QString &file : files)
        appendToPickList(file);
    FilesChosen = true;
}

// Dialogs on Windows give forward slashes; the folder is kept with the native separator.
void TZORViewForm::appendToPickList(const QString &path)
{
    const QString full = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    selection::appendPath(QDir::toNativeSeparators(path).toStdString(), NameList, PathList, [&](const std::string &name) {
        auto *item = new QListWidgetItem(QString::fromStdString(name), ListBox1);
        item->setToolTip(full);
    });
}

// The list box's context menu opens on the entry under the pointer, selecting it.
void TZORViewForm::ListBox1ContextPopup(const QPoint &pos)
{
    if (QListWidgetItem *item = ListBox1->itemAt(pos))
        ListBox1->setCurrentItem(item);
    PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(pos));
}

// «Кодовая страница»: how the entry's text is read by Do it and View for the rest of the session.
void TZORViewForm::fillCodePageMenu(int position)
{
    QMenu *codePages = CodePage1;
    qDeleteAll(codePages->findChildren<QActionGroup *>(QString(), Qt::FindDirectChildrenOnly));
    codePages->clear();
    codePages->setEnabled(true);
    if (position < 0 || size_t(position) >= NameList.size()) {
        codePages->setEnabled(false);
        return;
    }
    const std::string key = PathList[size_t(position)] + NameList[size_t(position)];
    const int current = codePageOf(size_t(position));
    auto *oneOf = new QActionGroup(codePages);
    for (const tables::codepage::Choice &choice : tables::codepage::choices()) {
        QAction *action = codePages->addAction(QString::fromUtf8(choice.label));
        action->setCheckable(true);
        action->setActionGroup(oneOf);
        action->setChecked(choice.codePage == current);
        const int chosen = choice.codePage;
        connect(action, &QAction::triggered, this, [key, chosen] {
            if (chosen == 0)
                CodePageChoices.erase(key);
            else
                CodePageChoices[key] = chosen;
        });
    }
}

int TZORViewForm::codePageOf(size_t position) const
{
    if (position >= NameList.size() || position >= PathList.size())
        return 0;
    const auto found = CodePageChoices.find(PathList[position] + NameList[position]);
    return found == CodePageChoices.end() ? 0 : found->second;
}

// The preview's Save also writes the complete structure of the tables just built, read as the
// build read them.
void TZORViewForm::offerStructureFormats()
{
    builtNames_ = NameList;
    builtPaths_ = PathList;
    builtCodePages_.clear();
    for (size_t i = 0; i < NameList.size(); ++i)
        builtCodePages_.push_back(codePageOf(i));
    QList<report::SaveFormat> formats;
    const struct { const char *filter; const char *suffix; } kinds[] = {
        {"Структура таблиц: страница HTML (*.html)", "html"}, {"Структура таблиц: Markdown (*.md)", "md"},
        {"Структура таблиц: JSON (*.json)", "json"}, {"Структура таблиц: CSV (*.csv)", "csv"}};
    for (const auto &kind : kinds) {
        formats << report::SaveFormat{QString::fromUtf8(kind.filter), QString::fromUtf8(kind.suffix),
                                      [names = builtNames_, paths = builtPaths_, pages = builtCodePages_](const QString &path) {
                                          const std::string target = path.toStdString();
                                          const auto described = catalogue::describeTables(
                                              names, paths, [&pages](size_t i) { return i < pages.size() ? pages[i] : 0; });
                                          exporter::writeWhole(target, exporter::render(*exporter::formatOf(target), described));
                                      }};
    }
    dialogs_.setSaveFormats(formats);
}

std::function<void()> TZORViewForm::guarded(void (TZORViewForm::*handler)())
{
    return [this, handler] {
        try {
            (this->*handler)();
        } catch (...) {
            dialogs_.error(this, app::errorText(std::current_exception()));
        }
    };
}

void TZORViewForm::showMessage(const std::string &text)
{
    dialogs_.message(this, QString::fromStdString(text));
}

// Asked during start-up. The run ends with a failure status once the start-up is over instead
// of entering the message loop: an exit posted now would also end the event loop of the next
// message box of the start-up, which would vanish unread.
void TZORViewForm::terminate()
{
    terminateRequested_ = true;
}

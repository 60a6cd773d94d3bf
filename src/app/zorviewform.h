#pragma once
// The main window ZORViewForm: pick tables (Add, Clear, the command line), build their
// catalogue and its report (Do it), look at one table's records (View, Enough), and Exit.
// Controls and components keep their designer names; each handler carries one operation.
#include "app/dialogs.h"
#include "catalogue/catalogue.h"
#include "report/cataloguejob.h"
#include "selection/tablemodel.h"
#include "tables/table.h"

#include <QStringList>
#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QTableView;

// The pick list (see selection/picklist.h): the picked file names and, at the same positions,
// their folders, UTF-8 and in the order picked; and whether the latest Add was confirmed.
extern std::vector<std::string> NameList;
extern std::vector<std::string> PathList;
extern bool FilesChosen;
// Code pages the user chose for picked table files (folder and name as in the pick list) for the
// rest of the session; a file without an entry is read as it says.
extern std::map<std::string, int> CodePageChoices;

class TZORViewForm : public QWidget, private catalogue::Host {
    Q_OBJECT

public:
    // Client area of the window: the compact height ends below the credit lines and the icon,
    // the full height shows the grid and Enough as well.
    static constexpr int ClientWidth = 379;
    static constexpr int CompactHeight = 189;
    static constexpr int FullHeight = 408;

    // Lays out the window, then runs the start-up (FormCreate) with `files`, the table files
    // named on the command line. Not shown yet.
    TZORViewForm(app::Dialogs &dialogs, const QStringList &files, QWidget *parent = nullptr);
    ~TZORViewForm() override;

    // Tables the desktop opens with the program (a file manager's "Open with"): listed as a
    // confirmed Add, so View works on them at once. Nothing to list leaves FilesChosen alone.
    void openWith(const QStringList &files);

    void setCompactHeight();
    void setFullHeight();

    // Start-up found a catalogue table it could not open and has asked the application to end:
    // the window is not to be offered for use.
    bool terminateRequested() const { return terminateRequested_; }

    // Controls.
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6;
    QPushButton *Button1, *Button2, *Button3, *Button4, *Button5, *Button6;
    QListWidget *ListBox1;
    QLabel *Image1;
    QTableView *DBGrid1;     // shows Current through DataSource1
    // Context menus: PopupMenu1 on ListBox1 (a folder of tables, remove an entry, its code page), PopupMenu2
    // on DBGrid1 (records to CSV, copy cells).
    QMenu *PopupMenu1, *PopupMenu2;
    QAction *AddFolder1, *Remove1, *SaveCsv1, *Copy1;
    QMenu *CodePage1;         // «Кодовая страница», for the selected entry

    // Components. Those Do it works on are held together, as the headless exports hold them.
    app::OpenDialog OpenDialog1;
    report::CatalogueJob Catalogue;
    tables::Table &Current = Catalogue.Current;         // the picked table being read or viewed
    tables::Table &MainData = Catalogue.MainData;       // Data/ZORMain.dbf
    tables::Table &TablesData = Catalogue.TablesData;   // Data/ZORDet.dbf, following MainData through DataSource2
    tables::DataSource DataSource1;
    selection::TableModel CurrentModel{&Current};       // what DBGrid1 shows of Current
    tables::DataSource &DataSource2 = Catalogue.DataSource2;
    report::Report &QuickRep1 = Catalogue.QuickRep1;    // the catalogue report over the two tables

private:
    void createControls();
    void FormCreate(const QStringList &files);
    void Button1Click();    // Add
    void Button2Click();    // Exit
    void Button3Click();    // Do it
    void Button4Click();    // View
    void Button5Click();    // Enough
    void Button6Click();    // Clear
    void AddFolder1Click();   // «Добавить папку…»
    void Remove1Click();      // «Убрать из списка»
    void SaveCsv1Click();     // «Сохранить записи в CSV…»
    void Copy1Click();        // Ctrl+C in the grid
    void FormDragDrop();      // files and folders dropped on the window

    void createMenus();
    void addPaths(const QStringList &paths);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:

    void appendToPickList(const QString &path);
    void ListBox1ContextPopup(const QPoint &pos);
    void fillCodePageMenu(int position);
    int codePageOf(size_t position) const;
    void offerStructureFormats();
    // Wraps a handler for connecting: an exception that leaves it goes to the error box.
    std::function<void()> guarded(void (TZORViewForm::*handler)());

    // catalogue::Host
    void showMessage(const std::string &text) override;
    void terminate() override;

    app::Dialogs &dialogs_;
    QStringList dropped_;       // what the last drop brought, for FormDragDrop
    bool terminateRequested_ = false;
    bool building_ = false;
    bool buildAgain_ = false;   // Do it was pressed while the last build's preview was open
    // The tables of the last build, as its preview's Save writes their structure.
    std::vector<std::string> builtNames_, builtPaths_;
    std::vector<int> builtCodePages_;
};

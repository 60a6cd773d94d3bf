#pragma once
// The table data set: one open table, a cursor over its live rows (in record order or in the
// order of the active index), appending and deleting rows for dBASE tables, and the
// master-detail link of a detail table to a master data source.
#include "fielddef.h"
#include "recordsource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tables {

class Table;
class DbfFile;

// A data source over a table. Detail tables that name it as their MasterSource follow the
// current row of its data set while it is enabled, and show all their rows while it is not.
class DataSource {
public:
    DataSource() = default;
    ~DataSource();
    DataSource(const DataSource &) = delete;
    DataSource &operator=(const DataSource &) = delete;

    void setDataSet(Table *table);
    Table *DataSet() const { return dataSet_; }
    bool Enabled() const { return enabled_; }
    void setEnabled(bool on);

private:
    friend class Table;
    void masterMoved();
    void attachDetail(Table *t);
    void detachDetail(Table *t);

    Table *dataSet_ = nullptr;
    bool enabled_ = true;
    std::vector<Table *> details_;
};

class Table {
public:
    Table();
    ~Table();
    Table(const Table &) = delete;
    Table &operator=(const Table &) = delete;

    // Where and what the table is; set while the table is closed.
    std::string DatabaseName;           // folder, with its trailing separator (or empty)
    std::string TableName;              // file name with extension
    tables::TableType TableType = ttDefault;    // ttDefault: the kind follows from the extension
    bool ReadOnly = true;               // clear it to append and delete (dBASE tables)
    std::string IndexName;              // active order: a tag of the production index, or empty
    int CodePage = 0;                   // the text's code page as the user chose it; 0: as the table says
    // Stored definitions: when set, opening checks the file against them.
    tables::FieldDefs FieldDefs;
    std::vector<IndexDef> IndexDefs;

    // Master-detail link: the detail shows the rows whose active-index key equals the
    // master's `MasterFields` column.
    void setMasterSource(DataSource *source);
    DataSource *MasterSource() const { return master_; }
    std::string MasterFields;

    // The operations the window and the catalogue use keep the data set's own names (Open,
    // First, Eof, Post ...); the others have plain names.
    void Open();
    void Close();
    bool Active() const;

    // Cursor.
    void First();
    void Next();
    bool Eof() const;
    void Delete();                       // deletes the current row; the next row becomes current
    void Refresh();                      // re-reads the rows from the file
    // Appending (dBASE tables): Insert starts a blank row, the setters fill it, Post writes it.
    void Insert();
    void setFieldAsString(const std::string &field, const std::string &text);
    void setFieldAsInteger(const std::string &field, int64_t value);
    void Post();
    // Writes what posted rows are still buffered to the files; with `durable`, also waits until
    // the system has them on the disk.
    void flush(bool durable = false);

    // The fields of the open table in the table's own order.
    const tables::FieldDefs &fields() const;
    // The current row's column as display text (character columns with trailing blanks removed,
    // numbers in general format: 10, not 10.00; empty for an empty value).
    std::string fieldAsString(const std::string &field) const;
    int64_t recordNumber() const;        // 1-based physical record of the current row, 0 at the end

    // Read access for the grid; null while closed.
    const RecordSource *source() const;
    // Closes the table as Close() does, but hands its file over still open instead of closing
    // it (to be read further elsewhere, on another thread if need be); null while closed.
    std::unique_ptr<RecordSource> takeSource();

    // DatabaseName followed by TableName: the file the table opens.
    std::string fullPath() const;

private:
    friend class DataSource;
    void attachObserver(DataSource *s);
    void detachObserver(DataSource *s);
    void moved();
    void followMaster();
    // The cursor finds its rows lazily, when somebody first looks (Eof, a column's text, a
    // count): these update the open table's cursor state and so are callable on a const Table.
    void settle() const;
    void rebuildView(bool keepCurrent) const;
    void ensureView() const;
    void stepFrom(size_t pos) const;
    void openIndex();
    int fieldIndex(const std::string &name) const;
    void requireActive(const char *what) const;

    struct OpenTable;                    // the reader, its index and the cursor, while open
    std::unique_ptr<OpenTable> open_;
    DataSource *master_ = nullptr;
    std::vector<DataSource *> observers_;
};

// Writes a new, empty dBASE IV table and, when `indexes` is not empty, its production index named
// after the table's base name in capitals, "NAME.MDX" (the dBASE writer, dbfwriter.cpp). Fields
// need name, nativeType, width and decimals. Used by the tool that makes the catalogue files,
// and by tests.
void createDbaseTable(const std::string &folder, const std::string &name, const FieldDefs &fields,
                      const std::vector<IndexDef> &indexes, uint8_t languageDriver);

} // namespace tables

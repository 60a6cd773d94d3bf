#pragma once
// The grid's model over the table component Current: one read-only row per live record, in
// record order, one column per field.
//
// Reading is on demand. reset() takes the table as it is now: its fields, its record count,
// and the sorted list of its deleted records, found by one pass over the deletion flags
// (Paradox tables have none). Nothing else is kept per record: a row is mapped to its record
// by a binary search in that list, and cells are read and formatted when the view asks for
// them, into a RowCache of a few thousand rows. A 1,000,000-row table costs the cache plus
// four bytes per deleted record.
//
// Damage. A table whose record area is cut short shows the rows before the damage. The engine's
// open-time warning, or the first error met while reading (the deletion pass or a cell), is kept
// in warning() and announced once per reset() by damageFound(), always from the event loop
// (queued), never from inside data(), so a slot may show a message box. Rows that cannot be read
// show empty cells; no exception leaves the model.
//
// The model does not notice when the table is opened or closed: call reset() after each
// Open() and each Close() of the table (and before anything that lets the view paint again).
#include "rowcache.h"
#include "tables/fielddef.h"
#include "valueformatter.h"

#include <QAbstractTableModel>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <vector>

namespace tables {
class RecordSource;
class Table;
} // namespace tables

namespace selection {

class TableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TableModel(QObject *parent = nullptr);
    explicit TableModel(const tables::Table *table, QObject *parent = nullptr);
    ~TableModel() override;

    // The table shown (may be null: an empty model); resets the model.
    void setTable(const tables::Table *table);
    const tables::Table *table() const { return table_; }
    // Re-reads the table's state: empty while it is closed.
    void reset();

    // Locale of the cell texts; QLocale::system() until set. Clears the cached texts.
    void setLocale(const QLocale &locale);

    // What was found wrong with the table since the last reset(), or empty.
    QString warning() const { return warning_; }

    // The field shown in `column`, or null outside the columns.
    const tables::FieldDef *field(int column) const
    {
        return column >= 0 && size_t(column) < fields_.size() ? &fields_[size_t(column)] : nullptr;
    }

    // Physical record (0-based) shown in `row`, or -1 outside the rows.
    int64_t recordOfRow(int row) const;
    const RowCache &cache() const { return cache_; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    // Once per reset(), queued: the message of warning(), for the user.
    void damageFound(const QString &message);

private:
    void load();
    void scanDeleted();
    const QString *rowTexts(int row) const;
    void reportDamage(const QString &message) const;
    bool stale() const;

    const tables::Table *table_ = nullptr;
    const tables::RecordSource *source_ = nullptr;  // the open table's records, or null
    int64_t sourceRecords_ = 0;                     // its record count when read
    int64_t records_ = 0;                           // records shown from: [0, records_)
    std::vector<uint32_t> deleted_;                 // deleted records below records_, sorted: the
                                                    // only per-record memory the model holds
    int rows_ = 0;
    tables::FieldDefs fields_;
    std::vector<QString> names_;
    std::vector<Qt::Alignment> alignment_;
    ValueFormatter formatter_;
    mutable RowCache cache_;
    mutable QString warning_;
    mutable bool reported_ = false;
    mutable bool resetQueued_ = false;
    uint64_t generation_ = 0;                       // counts resets, so a late signal is dropped
};

} // namespace selection

#include "tablemodel.h"

#include "tables/recordsource.h"
#include "tables/table.h"

#include <algorithm>
#include <climits>
#include <exception>

namespace selection {

namespace {
constexpr int kBlockRows = 256;
constexpr int kCellBudget = 64 * 1024;  // cached texts, whatever the number of columns
constexpr int kMinBlocks = 4;
constexpr int kMaxBlocks = 32;

QString messageOf(const std::exception &e) { return QString::fromUtf8(e.what()); }
QString messageOf(int64_t record) { return QStringLiteral("Не удалось прочитать запись %1").arg(record + 1); }
} // namespace

TableModel::TableModel(QObject *parent) : TableModel(nullptr, parent) {}

TableModel::TableModel(const tables::Table *table, QObject *parent)
    : QAbstractTableModel(parent), m_table(table), m_cache(kBlockRows, kMaxBlocks)
{
    load();
}

TableModel::~TableModel() = default;

void TableModel::setTable(const tables::Table *table)
{
    m_table = table;
    reset();
}

void TableModel::reset()
{
    beginResetModel();
    load();
    endResetModel();
}

void TableModel::setLocale(const QLocale &locale)
{
    m_formatter = ValueFormatter(locale);
    m_cache.clear();
    if (m_rows > 0 && !m_names.empty())
        emit dataChanged(index(0, 0), index(m_rows - 1, int(m_names.size()) - 1), {Qt::DisplayRole});
}

void TableModel::load()
{
    ++m_generation;
    m_reported = false;
    m_resetQueued = false;
    m_warning.clear();
    m_source = m_table ? m_table->source() : nullptr;
    m_sourceRecords = 0;
    m_records = 0;
    m_deleted = {};
    m_rows = 0;
    m_fields.clear();
    m_names.clear();
    m_alignment.clear();
    m_cache.reset(0);
    if (!m_source)
        return;

    std::string warning;
    try {
        m_fields = m_source->fields();
        m_sourceRecords = m_source->recordCount();
        warning = m_source->warning();
    } catch (const std::exception &e) {
        m_fields.clear();
        m_sourceRecords = 0;
        warning = e.what();
    }
    if (!warning.empty())
        reportDamage(QString::fromStdString(warning));
    for (const tables::FieldDef &f : m_fields) {
        m_names.push_back(QString::fromStdString(f.name));
        m_alignment.push_back(alignmentOf(f));
    }
    m_records = std::clamp<int64_t>(m_sourceRecords, 0, INT_MAX);
    scanDeleted();
    m_rows = int(m_records - int64_t(m_deleted.size()));
    const int columns = int(m_fields.size());
    m_cache.reset(columns, std::clamp(kCellBudget / (kBlockRows * std::max(1, columns)), kMinBlocks, kMaxBlocks));
}

// One pass in record order: the engine reads the flags through its block cache, a large
// sequential read. A record that cannot be read ends the rows there.
void TableModel::scanDeleted()
{
    int64_t r = 0;
    try {
        for (; r < m_records; ++r)
            if (m_source->isDeleted(r))
                m_deleted.push_back(uint32_t(r));
    } catch (const std::exception &e) {
        m_records = r;
        reportDamage(messageOf(e));
    } catch (...) {
        m_records = r;
        reportDamage(messageOf(r));
    }
    m_deleted.shrink_to_fit();
}

int64_t TableModel::recordOfRow(int row) const
{
    if (row < 0 || row >= m_rows)
        return -1;
    // The row's record is row + i, i = the number of deleted records before it: the first i
    // whose deleted record has more than `row` live records before it.
    size_t lo = 0, hi = m_deleted.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (int64_t(m_deleted[mid]) - int64_t(mid) <= row)
            lo = mid + 1;
        else
            hi = mid;
    }
    return int64_t(row) + int64_t(lo);
}

const QString *TableModel::rowTexts(int row) const
{
    if (const QString *texts = m_cache.find(row))
        return texts;
    QString *texts = m_cache.store(row);
    const int64_t record = recordOfRow(row);
    // A record that cannot be read at all leaves its whole row empty.
    auto fail = [&](const QString &message) {
        for (int k = 0; k < int(m_fields.size()); ++k)
            texts[k].clear();
        reportDamage(message);
    };
    try {
        for (int c = 0; c < int(m_fields.size()); ++c)
            texts[c] = m_formatter.format(m_source->value(record, c), m_fields[size_t(c)]);
    } catch (const std::exception &e) {
        fail(messageOf(e));
    } catch (...) {
        fail(messageOf(record));
    }
    return texts;
}

void TableModel::reportDamage(const QString &message) const
{
    if (m_reported)
        return;
    m_reported = true;
    m_warning = message;
    auto *self = const_cast<TableModel *>(this);
    QMetaObject::invokeMethod(
        self, [self, generation = m_generation, message] {
            if (generation == self->m_generation)
                emit self->damageFound(message);
        },
        Qt::QueuedConnection);
}

// Current was closed or reopened without a reset(): stop reading the old source (it may be
// gone) and reset from the event loop. Only a source that is still the table's is asked
// anything, so a freed one is never touched.
bool TableModel::stale() const
{
    const tables::RecordSource *now = m_table ? m_table->source() : nullptr;
    bool changed = now != m_source;
    if (!changed && now)
        changed = now->recordCount() != m_sourceRecords || now->fields().size() != m_fields.size();
    if (changed && !m_resetQueued) {
        m_resetQueued = true;
        auto *self = const_cast<TableModel *>(this);
        QMetaObject::invokeMethod(
            self, [self, generation = m_generation] {
                if (generation == self->m_generation)
                    self->reset();
            },
            Qt::QueuedConnection);
    }
    return changed;
}

int TableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_fields.size());
}

QVariant TableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        if (stale())
            return {};
        return rowTexts(index.row())[index.column()];
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(int(m_alignment[size_t(index.column())]));
    default:
        return {};
    }
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || section < 0)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal)
        return size_t(section) < m_names.size() ? QVariant(m_names[size_t(section)]) : QVariant();
    return section < m_rows ? QVariant(QString::number(section + 1)) : QVariant();
}

Qt::ItemFlags TableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace selection

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
    : QAbstractTableModel(parent), table_(table), cache_(kBlockRows, kMaxBlocks)
{
    load();
}

TableModel::~TableModel() = default;

void TableModel::setTable(const tables::Table *table)
{
    table_ = table;
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
    formatter_ = ValueFormatter(locale);
    cache_.clear();
    if (rows_ > 0 && !names_.empty())
        emit dataChanged(index(0, 0), index(rows_ - 1, int(names_.size()) - 1), {Qt::DisplayRole});
}

void TableModel::load()
{
    ++generation_;
    reported_ = false;
    resetQueued_ = false;
    warning_.clear();
    source_ = table_ ? table_->source() : nullptr;
    sourceRecords_ = 0;
    records_ = 0;
    deleted_ = {};
    rows_ = 0;
    fields_.clear();
    names_.clear();
    alignment_.clear();
    cache_.reset(0);
    if (!source_)
        return;

    std::string warning;
    try {
        fields_ = source_->fields();
        sourceRecords_ = source_->recordCount();
        warning = source_->warning();
    } catch (const std::exception &e) {
        fields_.clear();
        sourceRecords_ = 0;
        warning = e.what();
    }
    if (!warning.empty())
        reportDamage(QString::fromStdString(warning));
    for (const tables::FieldDef &f : fields_) {
        names_.push_back(QString::fromStdString(f.name));
        alignment_.push_back(alignmentOf(f));
    }
    records_ = std::clamp<int64_t>(sourceRecords_, 0, INT_MAX);
    scanDeleted();
    rows_ = int(records_ - int64_t(deleted_.size()));
    const int columns = int(fields_.size());
    cache_.reset(columns, std::clamp(kCellBudget / (kBlockRows * std::max(1, columns)), kMinBlocks, kMaxBlocks));
}

// One pass in record order: the engine reads the flags through its block cache, a large
// sequential read. A record that cannot be read ends the rows there.
void TableModel::scanDeleted()
{
    int64_t r = 0;
    try {
        for (; r < records_; ++r)
            if (source_->isDeleted(r))
                deleted_.push_back(uint32_t(r));
    } catch (const std::exception &e) {
        records_ = r;
        reportDamage(messageOf(e));
    } catch (...) {
        records_ = r;
        reportDamage(messageOf(r));
    }
    deleted_.shrink_to_fit();
}

int64_t TableModel::recordOfRow(int row) const
{
    if (row < 0 || row >= rows_)
        return -1;
    // The row's record is row + i, i = the number of deleted records before it: the first i
    // whose deleted record has more than `row` live records before it.
    size_t lo = 0, hi = deleted_.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (int64_t(deleted_[mid]) - int64_t(mid) <= row)
            lo = mid + 1;
        else
            hi = mid;
    }
    return int64_t(row) + int64_t(lo);
}

const QString *TableModel::rowTexts(int row) const
{
    if (const QString *texts = cache_.find(row))
        return texts;
    QString *texts = cache_.store(row);
    const int64_t record = recordOfRow(row);
    // A record that cannot be read at all leaves its whole row empty.
    auto fail = [&](const QString &message) {
        for (int k = 0; k < int(fields_.size()); ++k)
            texts[k].clear();
        reportDamage(message);
    };
    try {
        for (int c = 0; c < int(fields_.size()); ++c)
            texts[c] = formatter_.format(source_->value(record, c), fields_[size_t(c)]);
    } catch (const std::exception &e) {
        fail(messageOf(e));
    } catch (...) {
        fail(messageOf(record));
    }
    return texts;
}

void TableModel::reportDamage(const QString &message) const
{
    if (reported_)
        return;
    reported_ = true;
    warning_ = message;
    auto *self = const_cast<TableModel *>(this);
    QMetaObject::invokeMethod(
        self, [self, generation = generation_, message] {
            if (generation == self->generation_)
                emit self->damageFound(message);
        },
        Qt::QueuedConnection);
}

// Current was closed or reopened without a reset(): stop reading the old source (it may be
// gone) and reset from the event loop. Only a source that is still the table's is asked
// anything, so a freed one is never touched.
bool TableModel::stale() const
{
    const tables::RecordSource *now = table_ ? table_->source() : nullptr;
    bool changed = now != source_;
    if (!changed && now)
        changed = now->recordCount() != sourceRecords_ || now->fields().size() != fields_.size();
    if (changed && !resetQueued_) {
        resetQueued_ = true;
        auto *self = const_cast<TableModel *>(this);
        QMetaObject::invokeMethod(
            self, [self, generation = generation_] {
                if (generation == self->generation_)
                    self->reset();
            },
            Qt::QueuedConnection);
    }
    return changed;
}

int TableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int TableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(fields_.size());
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
        return QVariant::fromValue(int(alignment_[size_t(index.column())]));
    default:
        return {};
    }
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || section < 0)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal)
        return size_t(section) < names_.size() ? QVariant(names_[size_t(section)]) : QVariant();
    return section < rows_ ? QVariant(QString::number(section + 1)) : QVariant();
}

Qt::ItemFlags TableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace selection

#include "table.h"

#include "dbffile.h"
#include "error.h"
#include "productionindex.h"

#include <algorithm>
#include <strings.h>

namespace tables {

namespace {
constexpr size_t kFlushBytes = 1 << 20; // posted rows kept in memory before they are written
} // namespace

// ---------------------------------------------------------------- DataSource

DataSource::~DataSource()
{
    if (dataSet_)
        dataSet_->detachObserver(this);
    for (Table *t : details_)
        t->master_ = nullptr;
}

void DataSource::setDataSet(Table *table)
{
    if (dataSet_)
        dataSet_->detachObserver(this);
    dataSet_ = table;
    if (dataSet_)
        dataSet_->attachObserver(this);
    masterMoved();
}

void DataSource::setEnabled(bool on)
{
    if (enabled_ == on)
        return;
    enabled_ = on;
    for (Table *t : details_)
        t->followMaster();
}

void DataSource::masterMoved()
{
    if (!enabled_)
        return;
    for (Table *t : details_)
        t->followMaster();
}

void DataSource::attachDetail(Table *t) { details_.push_back(t); }

void DataSource::detachDetail(Table *t) { details_.erase(std::remove(details_.begin(), details_.end(), t), details_.end()); }

// ---------------------------------------------------------------- Table

struct Table::Impl {
    std::unique_ptr<RecordSource> source;
    DbfFile *dbf = nullptr;              // the source when it is a dBASE table
    std::unique_ptr<ProductionIndex> index;
    int tag = -1;                        // active tag, -1 for record order
    std::string path;

    // Cursor. In record order `current` walks the records; in index order (or through the
    // link) `view` holds the records in order and `pos` is the place in it.
    bool indexed = false;
    std::vector<int64_t> view;
    bool viewDirty = true;
    size_t pos = 0;
    int64_t current = -1;                // 0-based record, -1 at the end

    bool inserting = false;
    std::vector<uint8_t> newRecord;
    int64_t live = 0;                    // live (not deleted) records, for writable tables
    File lock;                           // held while a writable table is open
    bool followPending = false;          // opened, or the master moved: find our rows when next asked
};

Table::Table() = default;

Table::~Table()
{
    try {
        Close();
    } catch (...) {
        // Nothing more can be done about buffered rows here.
    }
    if (master_)
        master_->detachDetail(this);
    for (DataSource *s : observers_)
        s->dataSet_ = nullptr;
}

void Table::setMasterSource(DataSource *source)
{
    if (master_)
        master_->detachDetail(this);
    master_ = source;
    if (master_)
        master_->attachDetail(this);
    if (Active())
        followMaster();
}

void Table::attachObserver(DataSource *s) { observers_.push_back(s); }

void Table::detachObserver(DataSource *s) { observers_.erase(std::remove(observers_.begin(), observers_.end(), s), observers_.end()); }

void Table::moved()
{
    for (DataSource *s : observers_)
        s->masterMoved();
}

bool Table::Active() const { return d != nullptr; }

std::string Table::fullPath() const { return DatabaseName + TableName; }

void Table::requireActive(const char *what) const
{
    if (!d)
        throw Error(std::string("Таблица «") + TableName + "» не открыта: " + what + " невозможно");
}

void Table::Open()
{
    if (d)
        return;
    auto impl = std::make_unique<Impl>();
    impl->path = fullPath();
    if (TableName.empty())
        throw Error("Не задано имя таблицы");
    std::string ext = splitPath(TableName).extension;
    bool dbase = TableType == ttDBase || (TableType == ttDefault && ext == ".dbf");
    if (dbase && !ReadOnly) {
        // One writer at a time: a second program (or a second copy of this one) that opens the
        // same table for writing is refused instead of mixing its rows into ours.
        impl->lock = File(impl->path, File::ReadOnly);
        if (!impl->lock.tryLock())
            throw Error("Файл «" + impl->path + "»: таблица занята другой программой");
    }
    if (dbase) {
        auto dbf = std::make_unique<DbfFile>(impl->path, !ReadOnly);
        impl->dbf = dbf.get();
        impl->source = std::move(dbf);
    } else if (TableType == ttParadox) {
        impl->source = openRecordSource(impl->path, ttParadox);
    } else {
        impl->source = openRecordSource(impl->path, ttDefault);
        impl->dbf = dynamic_cast<DbfFile *>(impl->source.get());
        if (impl->dbf && !ReadOnly) {
            impl->source.reset();
            auto dbf = std::make_unique<DbfFile>(impl->path, true);
            impl->dbf = dbf.get();
            impl->source = std::move(dbf);
        }
    }
    // Stored definitions: the file must have those columns.
    for (const FieldDef &want : FieldDefs) {
        const tables::FieldDefs &have = impl->source->fields();
        auto it = std::find_if(have.begin(), have.end(), [&](const FieldDef &f) { return asciiUpper(f.name) == asciiUpper(want.name); });
        if (it == have.end() || (want.nativeType && it->nativeType != want.nativeType) ||
            (want.width && it->width != want.width))
            throw Error("Файл «" + impl->path + "»: структура таблицы не та, что ожидается (поле " + want.name + ")");
    }
    d = std::move(impl);
    try {
        openIndex();
        if (d->dbf && !ReadOnly) {
            d->live = 0;
            for (int64_t r = 0; r < d->dbf->recordCount(); ++r)
                if (!d->dbf->isDeleted(r))
                    ++d->live;
        }
        // The cursor goes to the first row when somebody first asks: a table opened for its
        // field list only never reads a record.
        followMaster();
        moved();
    } catch (...) {
        d.reset();
        throw;
    }
}

void Table::openIndex()
{
    if (!d->dbf)
        return;
    d->index = ProductionIndex::open(*d->dbf, IndexDefs, !ReadOnly, !IndexName.empty());
    if (!IndexName.empty()) {
        d->tag = d->index->findTag(IndexName);
        if (d->tag < 0)
            throw Error("Файл «" + d->path + "»: в индексе нет тега " + IndexName);
        d->indexed = true;
    }
}

void Table::Close()
{
    if (!d)
        return;
    std::unique_ptr<Impl> impl = std::move(d);
    moved();
    if (impl->dbf) {
        impl->dbf->flush();
        if (impl->index)
            impl->index->flush();
    }
}

void Table::flush(bool durable)
{
    if (!d || !d->dbf)
        return;
    d->dbf->flush();
    if (d->index)
        d->index->flush();
    if (durable) {
        d->dbf->sync();
        if (d->index)
            d->index->sync();
    }
}

void Table::followMaster()
{
    // Finding the detail rows waits until somebody looks at them: emptying or filling the
    // master moves it thousands of times with nobody looking.
    if (!d)
        return;
    d->followPending = true;
    d->viewDirty = true;
}

void Table::settle() const
{
    if (!d || !d->followPending)
        return;
    Table *self = const_cast<Table *>(this);
    d->followPending = false;
    self->rebuildView(false);
    d->pos = 0;
    self->stepFrom(0);
}

void Table::rebuildView(bool keepCurrent)
{
    d->view.clear();
    bool linked = master_ && master_->Enabled() && master_->DataSet();
    if (linked) {
        Table *m = master_->DataSet();
        if (!m->Active() || m->Eof()) {
            d->indexed = true;
        } else if (d->tag >= 0) {
            d->view = d->index->seek(d->tag, m->fieldAsString(MasterFields));
            d->indexed = true;
        } else {
            // No index to seek in: the rows whose column matches, in record order.
            std::string value = m->fieldAsString(MasterFields);
            int f = -1;
            if (d->dbf)
                f = d->dbf->fieldIndex(MasterFields);
            for (int64_t r = 0; f >= 0 && r < d->source->recordCount(); ++r)
                if (d->dbf->fieldText(r, f) == value)
                    d->view.push_back(r);
            d->indexed = true;
        }
    } else if (d->tag >= 0) {
        d->view = d->index->order(d->tag);
        d->indexed = true;
    } else {
        d->indexed = false;
    }
    d->viewDirty = false;
    if (keepCurrent && d->indexed) {
        auto it = std::find(d->view.begin(), d->view.end(), d->current);
        d->pos = it == d->view.end() ? d->view.size() : size_t(it - d->view.begin());
        if (it == d->view.end())
            d->current = -1;
    }
}

void Table::ensureView()
{
    settle();
    if (d->viewDirty)
        rebuildView(true);
}

// Makes the first live row at or after `pos` current (in the cursor's order).
void Table::stepFrom(size_t pos)
{
    const RecordSource &src = *d->source;
    if (d->indexed) {
        d->pos = pos;
        while (d->pos < d->view.size()) {
            int64_t r = d->view[d->pos];
            if (r >= 0 && r < src.recordCount() && !src.isDeleted(r)) {
                d->current = r;
                return;
            }
            ++d->pos;
        }
        d->current = -1;
        return;
    }
    int64_t r = int64_t(pos);
    while (r < src.recordCount() && src.isDeleted(r))
        ++r;
    d->current = r < src.recordCount() ? r : -1;
}

void Table::First()
{
    requireActive("переход к первой записи");
    d->inserting = false;
    d->followPending = false;
    if (d->viewDirty || d->indexed)
        rebuildView(false);
    stepFrom(0);
    moved();
}

void Table::Next()
{
    requireActive("переход к следующей записи");
    ensureView();
    if (d->current < 0)
        return;
    stepFrom(d->indexed ? d->pos + 1 : size_t(d->current + 1));
    moved();
}

bool Table::Eof() const
{
    settle();
    return !d || d->current < 0;
}

bool Table::IsEmpty() const
{
    if (!d)
        return true;
    const_cast<Table *>(this)->ensureView();
    if (d->indexed) {
        for (int64_t r : d->view)
            if (!d->source->isDeleted(r))
                return false;
        return true;
    }
    for (int64_t r = 0; r < d->source->recordCount(); ++r)
        if (!d->source->isDeleted(r))
            return false;
    return true;
}

void Table::Delete()
{
    requireActive("удаление записи");
    if (!d->dbf || ReadOnly)
        throw Error("Файл «" + d->path + "»: таблица открыта только для чтения");
    ensureView();
    if (d->current < 0)
        throw Error("Файл «" + d->path + "»: нет текущей записи для удаления");
    int64_t r = d->current;
    d->dbf->markDeleted(r);
    --d->live;
    if (d->live <= 0) {
        // The last live row is gone: the table keeps no records and the index no keys, so that
        // emptying and refilling does not let the files grow.
        d->dbf->removeAll();
        if (d->index)
            d->index->clear();
        d->live = 0;
        d->view.clear();
        d->pos = 0;
        d->current = -1;
    } else {
        stepFrom(d->indexed ? d->pos + 1 : size_t(r + 1));
    }
    moved();
}

void Table::Refresh()
{
    requireActive("перечитывание");
    settle();
    flush();
    int64_t keep = d->current;
    rebuildView(false);
    if (keep >= 0 && keep < d->source->recordCount() && !d->source->isDeleted(keep)) {
        if (d->indexed) {
            auto it = std::find(d->view.begin(), d->view.end(), keep);
            stepFrom(it == d->view.end() ? 0 : size_t(it - d->view.begin()));
        } else {
            d->current = keep;
        }
    } else {
        stepFrom(0);
    }
    moved();
}

void Table::Insert()
{
    requireActive("добавление записи");
    if (!d->dbf || ReadOnly)
        throw Error("Файл «" + d->path + "»: таблица открыта только для чтения");
    d->newRecord = d->dbf->blankRecord();
    d->inserting = true;
}

int Table::fieldIndex(const std::string &name) const
{
    const tables::FieldDefs &f = d->source->fields();
    for (size_t k = 0; k < f.size(); ++k)
        if (strcasecmp(f[k].name.c_str(), name.c_str()) == 0)
            return int(k);
    throw Error("Файл «" + d->path + "»: нет поля " + name);
}

void Table::setFieldAsString(const std::string &field, const std::string &text)
{
    requireActive("запись поля");
    if (!d->inserting)
        throw Error("Файл «" + d->path + "»: запись не в режиме добавления");
    d->dbf->encodeText(d->newRecord, fieldIndex(field), text);
}

void Table::setFieldAsInteger(const std::string &field, int64_t value)
{
    requireActive("запись поля");
    if (!d->inserting)
        throw Error("Файл «" + d->path + "»: запись не в режиме добавления");
    d->dbf->encodeInteger(d->newRecord, fieldIndex(field), value);
}

void Table::Post()
{
    requireActive("сохранение записи");
    settle();
    if (!d->inserting)
        throw Error("Файл «" + d->path + "»: нет новой записи для сохранения");
    d->inserting = false;
    int64_t r = d->dbf->append(d->newRecord);
    if (d->index)
        d->index->add(r);
    ++d->live;
    d->current = r;
    d->viewDirty = true;
    if (d->dbf->bufferedBytes() >= kFlushBytes)
        flush();
    moved();
}

const tables::FieldDefs &Table::fields() const
{
    requireActive("чтение списка полей");
    return d->source->fields();
}

std::string Table::fieldAsString(const std::string &field) const
{
    settle();
    if (!d || d->current < 0)
        return {};
    int f = fieldIndex(field);
    if (d->dbf)
        return d->dbf->fieldText(d->current, f);
    Value v = d->source->value(d->current, f);
    switch (v.kind) {
    case Value::Kind::Text: case Value::Kind::Memo: return v.text;
    case Value::Kind::Integer: return std::to_string(v.integer);
    default: return {};
    }
}

int64_t Table::recordNumber() const
{
    settle();
    return d && d->current >= 0 ? d->current + 1 : 0;
}

int64_t Table::visibleCount() const
{
    if (!d)
        return 0;
    const_cast<Table *>(this)->ensureView();
    if (!d->indexed) {
        // Record order: build the list of live records once.
        d->view.clear();
        for (int64_t r = 0; r < d->source->recordCount(); ++r)
            if (!d->source->isDeleted(r))
                d->view.push_back(r);
        return int64_t(d->view.size());
    }
    int64_t n = 0;
    for (int64_t r : d->view)
        n += d->source->isDeleted(r) ? 0 : 1;
    return n;
}

int64_t Table::visibleRecord(int64_t i) const
{
    if (!d || i < 0)
        return -1;
    int64_t n = 0;
    for (int64_t r : d->view)
        if (!d->source->isDeleted(r) && n++ == i)
            return r;
    return -1;
}

const RecordSource *Table::source() const
{
    return d ? d->source.get() : nullptr;
}

} // namespace tables

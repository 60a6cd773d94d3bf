#include "table.h"

#include "dbffile.h"
#include "error.h"
#include "productionindex.h"

#include <algorithm>

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

struct Table::OpenTable {
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

bool Table::Active() const { return open_ != nullptr; }

std::string Table::fullPath() const { return DatabaseName + TableName; }

void Table::requireActive(const char *what) const
{
    if (!open_)
        throw Error(std::string("Таблица «") + TableName + "» не открыта: " + what + " невозможно");
}

void Table::Open()
{
    if (open_)
        return;
    auto impl = std::make_unique<OpenTable>();
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
        auto dbf = std::make_unique<DbfFile>(impl->path, !ReadOnly, CodePage);
        impl->dbf = dbf.get();
        impl->source = std::move(dbf);
    } else if (TableType == ttParadox) {
        impl->source = openRecordSource(impl->path, ttParadox, CodePage);
    } else {
        impl->source = openRecordSource(impl->path, ttDefault, CodePage);
        impl->dbf = dynamic_cast<DbfFile *>(impl->source.get());
        if (impl->dbf && !ReadOnly) {
            impl->source.reset();
            auto dbf = std::make_unique<DbfFile>(impl->path, true, CodePage);
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
    open_ = std::move(impl);
    try {
        openIndex();
        if (open_->dbf && !ReadOnly) {
            open_->live = 0;
            for (int64_t r = 0; r < open_->dbf->recordCount(); ++r)
                if (!open_->dbf->isDeleted(r))
                    ++open_->live;
        }
        // The cursor goes to the first row when somebody first asks: a table opened for its
        // field list only never reads a record.
        followMaster();
        moved();
    } catch (...) {
        open_.reset();
        throw;
    }
}

void Table::openIndex()
{
    if (!open_->dbf)
        return;
    open_->index = ProductionIndex::open(*open_->dbf, IndexDefs, !ReadOnly, !IndexName.empty());
    if (!IndexName.empty()) {
        open_->tag = open_->index->findTag(IndexName);
        if (open_->tag < 0)
            throw Error("Файл «" + open_->path + "»: в индексе нет тега " + IndexName);
        open_->indexed = true;
    }
}

void Table::Close()
{
    if (!open_)
        return;
    std::unique_ptr<OpenTable> impl = std::move(open_);
    moved();
    if (impl->dbf) {
        impl->dbf->flush();
        if (impl->index)
            impl->index->flush();
    }
}

std::unique_ptr<RecordSource> Table::takeSource()
{
    if (!open_)
        return nullptr;
    flush(); // what was written is in the file before it changes hands
    std::unique_ptr<RecordSource> source = std::move(open_->source);
    open_->dbf = nullptr;
    Close();
    return source;
}

void Table::flush(bool durable)
{
    if (!open_ || !open_->dbf)
        return;
    open_->dbf->flush();
    if (open_->index)
        open_->index->flush();
    if (durable) {
        open_->dbf->sync();
        if (open_->index)
            open_->index->sync();
    }
}

void Table::followMaster()
{
    // Finding the detail rows waits until somebody looks at them: emptying or filling the
    // master moves it thousands of times with nobody looking.
    if (!open_)
        return;
    open_->followPending = true;
    open_->viewDirty = true;
}

void Table::settle() const
{
    if (!open_ || !open_->followPending)
        return;
    open_->followPending = false;
    rebuildView(false);
    open_->pos = 0;
    stepFrom(0);
}

void Table::rebuildView(bool keepCurrent) const
{
    open_->view.clear();
    bool linked = master_ && master_->Enabled() && master_->DataSet();
    if (linked) {
        Table *m = master_->DataSet();
        if (!m->Active() || m->Eof()) {
            open_->indexed = true;
        } else if (open_->tag >= 0) {
            open_->view = open_->index->seek(open_->tag, m->fieldAsString(MasterFields));
            open_->indexed = true;
        } else {
            // No index to seek in: the rows whose column matches, in record order.
            std::string value = m->fieldAsString(MasterFields);
            int f = -1;
            if (open_->dbf)
                f = open_->dbf->fieldIndex(MasterFields);
            for (int64_t r = 0; f >= 0 && r < open_->source->recordCount(); ++r)
                if (open_->dbf->fieldText(r, f) == value)
                    open_->view.push_back(r);
            open_->indexed = true;
        }
    } else if (open_->tag >= 0) {
        open_->view = open_->index->order(open_->tag);
        open_->indexed = true;
    } else {
        open_->indexed = false;
    }
    open_->viewDirty = false;
    if (keepCurrent && open_->indexed) {
        auto it = std::find(open_->view.begin(), open_->view.end(), open_->current);
        open_->pos = it == open_->view.end() ? open_->view.size() : size_t(it - open_->view.begin());
        if (it == open_->view.end())
            open_->current = -1;
    }
}

void Table::ensureView() const
{
    settle();
    if (open_->viewDirty)
        rebuildView(true);
}

// Makes the first live row at or after `pos` current (in the cursor's order).
void Table::stepFrom(size_t pos) const
{
    const RecordSource &src = *open_->source;
    if (open_->indexed) {
        open_->pos = pos;
        while (open_->pos < open_->view.size()) {
            int64_t r = open_->view[open_->pos];
            if (r >= 0 && r < src.recordCount() && !src.isDeleted(r)) {
                open_->current = r;
                return;
            }
            ++open_->pos;
        }
        open_->current = -1;
        return;
    }
    int64_t r = int64_t(pos);
    while (r < src.recordCount() && src.isDeleted(r))
        ++r;
    open_->current = r < src.recordCount() ? r : -1;
}

void Table::First()
{
    requireActive("переход к первой записи");
    open_->inserting = false;
    open_->followPending = false;
    if (open_->viewDirty || open_->indexed)
        rebuildView(false);
    stepFrom(0);
    moved();
}

void Table::Next()
{
    requireActive("переход к следующей записи");
    ensureView();
    if (open_->current < 0)
        return;
    stepFrom(open_->indexed ? open_->pos + 1 : size_t(open_->current + 1));
    moved();
}

bool Table::Eof() const
{
    settle();
    return !open_ || open_->current < 0;
}

void Table::Delete()
{
    requireActive("удаление записи");
    if (!open_->dbf || ReadOnly)
        throw Error("Файл «" + open_->path + "»: таблица открыта только для чтения");
    ensureView();
    if (open_->current < 0)
        throw Error("Файл «" + open_->path + "»: нет текущей записи для удаления");
    int64_t r = open_->current;
    open_->dbf->markDeleted(r);
    --open_->live;
    if (open_->live <= 0) {
        // The last live row is gone: the table keeps no records and the index no keys, so that
        // emptying and refilling does not let the files grow.
        open_->dbf->removeAll();
        if (open_->index)
            open_->index->clear();
        open_->live = 0;
        open_->view.clear();
        open_->pos = 0;
        open_->current = -1;
    } else {
        stepFrom(open_->indexed ? open_->pos + 1 : size_t(r + 1));
    }
    moved();
}

void Table::Refresh()
{
    requireActive("перечитывание");
    settle();
    flush();
    int64_t keep = open_->current;
    rebuildView(false);
    if (keep >= 0 && keep < open_->source->recordCount() && !open_->source->isDeleted(keep)) {
        if (open_->indexed) {
            auto it = std::find(open_->view.begin(), open_->view.end(), keep);
            stepFrom(it == open_->view.end() ? 0 : size_t(it - open_->view.begin()));
        } else {
            open_->current = keep;
        }
    } else {
        stepFrom(0);
    }
    moved();
}

void Table::Insert()
{
    requireActive("добавление записи");
    if (!open_->dbf || ReadOnly)
        throw Error("Файл «" + open_->path + "»: таблица открыта только для чтения");
    open_->newRecord = open_->dbf->blankRecord();
    open_->inserting = true;
}

int Table::fieldIndex(const std::string &name) const
{
    const tables::FieldDefs &f = open_->source->fields();
    for (size_t k = 0; k < f.size(); ++k)
        if (asciiUpper(f[k].name) == asciiUpper(name))
            return int(k);
    throw Error("Файл «" + open_->path + "»: нет поля " + name);
}

void Table::setFieldAsString(const std::string &field, const std::string &text)
{
    requireActive("запись поля");
    if (!open_->inserting)
        throw Error("Файл «" + open_->path + "»: запись не в режиме добавления");
    open_->dbf->encodeText(open_->newRecord, fieldIndex(field), text);
}

void Table::setFieldAsInteger(const std::string &field, int64_t value)
{
    requireActive("запись поля");
    if (!open_->inserting)
        throw Error("Файл «" + open_->path + "»: запись не в режиме добавления");
    open_->dbf->encodeInteger(open_->newRecord, fieldIndex(field), value);
}

void Table::Post()
{
    requireActive("сохранение записи");
    settle();
    if (!open_->inserting)
        throw Error("Файл «" + open_->path + "»: нет новой записи для сохранения");
    open_->inserting = false;
    int64_t r = open_->dbf->append(open_->newRecord);
    if (open_->index)
        open_->index->add(r);
    ++open_->live;
    open_->current = r;
    open_->viewDirty = true;
    if (open_->dbf->bufferedBytes() >= kFlushBytes)
        flush();
    moved();
}

const tables::FieldDefs &Table::fields() const
{
    requireActive("чтение списка полей");
    return open_->source->fields();
}

std::string Table::fieldAsString(const std::string &field) const
{
    settle();
    if (!open_ || open_->current < 0)
        return {};
    int f = fieldIndex(field);
    if (open_->dbf)
        return open_->dbf->fieldText(open_->current, f);
    Value v = open_->source->value(open_->current, f);
    switch (v.kind) {
    case Value::Kind::Text: case Value::Kind::Memo: return v.text;
    case Value::Kind::Integer: return std::to_string(v.integer);
    default: return {};
    }
}

int64_t Table::recordNumber() const
{
    settle();
    return open_ && open_->current >= 0 ? open_->current + 1 : 0;
}

const RecordSource *Table::source() const
{
    return open_ ? open_->source.get() : nullptr;
}

} // namespace tables

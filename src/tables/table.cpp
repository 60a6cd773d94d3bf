#include "table.h"

#include "bytes.h"
#include "dbffile.h"
#include "error.h"
#include "mdxindex.h"
#include "numkey.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace tables {

namespace {
constexpr size_t kFlushBytes = 1 << 20; // posted rows kept in memory before they are written




// Julian day number of a YYYYMMDD text as a date key; blank dates sort last.
std::string dateKey(const std::string &raw)
{
    double jdn = 1.0e100;
    bool digits = raw.size() == 8 && std::all_of(raw.begin(), raw.end(), [](char c) { return std::isdigit((unsigned char)c); });
    if (digits) {
        int y = std::stoi(raw.substr(0, 4)), m = std::stoi(raw.substr(4, 2)), d = std::stoi(raw.substr(6, 2));
        // Days from 0001-01-01 (day 1) by the civil-from-days inverse, then the Julian offset.
        int64_t yy = m <= 2 ? y - 1 : y;
        int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
        int64_t yoe = yy - era * 400;
        int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        int64_t days1970 = era * 146097 + doe - 719468;
        jdn = double(days1970 + 2440588);
    }
    uint64_t bits;
    std::memcpy(&bits, &jdn, 8);
    std::string k(8, '\0');
    for (int i = 0; i < 8; ++i)
        k[size_t(i)] = char(bits >> (8 * i));
    return k;
}
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
    std::unique_ptr<MdxIndex> mdx;
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
    std::vector<int> tagField;           // per index tag, the column its key is made from (-1: none)
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

std::string Table::keyOf(int tag, int64_t record) const
{
    const MdxIndex::TagSpec &s = d->mdx->tag(tag);
    int field = d->tagField.at(size_t(tag));
    std::string raw = field >= 0 ? d->dbf->rawField(record, field) : std::string();
    switch (s.keyType) {
    case 'N': {
        numkey::Key k = numkey::fromText(raw);
        return std::string(reinterpret_cast<const char *>(k.data()), k.size());
    }
    case 'D':
        return dateKey(raw);
    default:
        raw.resize(size_t(s.keyLength), ' ');
        return raw;
    }
}

void Table::openIndex()
{
    if (!d->dbf)
        return;
    const std::string &path = d->path;
    const auto [folder, stem, extension] = splitPath(path);
    // A table opened only to be read needs its index only for an index order; one opened for
    // writing keeps every tag of its production index up to date.
    bool wanted = !IndexName.empty() || (!ReadOnly && d->dbf->productionIndexFlag());
    if (!wanted)
        return;
    std::string mdxPath = findCompanion(folder, stem, ".mdx");
    bool writable = !ReadOnly;
    if (mdxPath.empty()) {
        if (IndexName.empty())
            return; // the flag promises an index that is not there: read in record order
        if (!writable || IndexDefs.empty())
            throw Error("Файл «" + path + "»: не найден индекс " + asciiUpper(stem) + ".MDX");
        // The index is derived from the table: make it again from the stored definitions.
        mdxPath = folder + asciiUpper(stem) + ".MDX";
        std::vector<MdxIndex::TagSpec> specs;
        for (const IndexDef &x : IndexDefs) {
            MdxIndex::TagSpec s;
            s.name = x.name;
            s.expression = x.fields;
            int f = d->dbf->fieldIndex(x.fields);
            char t = f >= 0 ? d->dbf->fields()[size_t(f)].nativeType : 'N';
            s.keyType = (t == 'C') ? 'C' : (t == 'D' ? 'D' : 'N');
            s.keyLength = s.keyType == 'C' ? d->dbf->fields()[size_t(f)].width : (s.keyType == 'D' ? 8 : 12);
            specs.push_back(s);
        }
        std::vector<uint8_t> img = MdxIndex::image(asciiUpper(stem), d->dbf->languageDriver(), specs, {});
        File f(mdxPath, File::Create);
        f.writeAt(img.data(), img.size(), 0);
    }
    try {
        d->mdx = std::make_unique<MdxIndex>(mdxPath, writable);
    } catch (const Error &) {
        if (!writable)
            throw;
        // A damaged header: start from an empty index with the stored tags, then rebuild.
        std::vector<MdxIndex::TagSpec> specs;
        for (const IndexDef &x : IndexDefs) {
            MdxIndex::TagSpec s;
            s.name = x.name;
            s.expression = x.fields;
            specs.push_back(s);
        }
        if (specs.empty())
            throw;
        std::vector<uint8_t> img = MdxIndex::image(asciiUpper(stem), d->dbf->languageDriver(), specs, {});
        File f(mdxPath, File::ReadWrite);
        f.writeAt(img.data(), img.size(), 0);
        f.truncate(int64_t(img.size()));
        d->mdx = std::make_unique<MdxIndex>(mdxPath, writable);
    }

    for (int t = 0; t < d->mdx->tagCount(); ++t)
        d->tagField.push_back(d->dbf->fieldIndex(d->mdx->tag(t).expression));

    // The index must agree with the table: every record (deleted ones too) has exactly one key,
    // holding its own value, in order. Anything else and the index is built again.
    const int64_t n = d->dbf->recordCount();
    bool good = true;
    std::vector<std::vector<MdxIndex::Entry>> rebuilt;
    for (int t = 0; t < d->mdx->tagCount(); ++t) {
        const MdxIndex::TagSpec &s = d->mdx->tag(t);
        bool bare = d->tagField[size_t(t)] >= 0;
        std::vector<MdxIndex::Entry> entries;
        bool tagGood = bare;
        if (bare) {
            try {
                entries = d->mdx->walk(t);
            } catch (const Error &) {
                tagGood = false;
            }
        }
        if (tagGood && int64_t(entries.size()) != n)
            tagGood = false;
        if (tagGood) {
            std::vector<char> seen(size_t(n), 0);
            for (size_t i = 0; i < entries.size() && tagGood; ++i) {
                uint32_t r = entries[i].second;
                if (r < 1 || r > n || seen[r - 1]) {
                    tagGood = false;
                    break;
                }
                seen[r - 1] = 1;
                if (MdxIndex::compareKeys(s.keyType, entries[i].first, keyOf(t, r - 1)) != 0)
                    tagGood = false;
                if (i > 0) {
                    int c = MdxIndex::compareKeys(s.keyType, entries[i - 1].first, entries[i].first);
                    if (c > 0 || (c == 0 && entries[i - 1].second > r))
                        tagGood = false;
                }
            }
        }
        if (!tagGood && bare) {
            good = false;
        }
        rebuilt.emplace_back();
        if (bare) {
            auto &e = rebuilt.back();
            e.reserve(size_t(n));
            for (int64_t r = 0; r < n; ++r)
                e.emplace_back(keyOf(t, r), uint32_t(r + 1));
            char kt = s.keyType;
            std::stable_sort(e.begin(), e.end(), [kt](const MdxIndex::Entry &a, const MdxIndex::Entry &b) {
                return MdxIndex::compareKeys(kt, a.first, b.first) < 0;
            });
        } else {
            try {
                rebuilt.back() = d->mdx->walk(t);
            } catch (const Error &) {
            }
        }
    }
    if (!good) {
        d->mdx->replace(rebuilt);
        if (writable)
            d->mdx->flush();
    }
    if (!IndexName.empty()) {
        d->tag = d->mdx->findTag(IndexName);
        if (d->tag < 0)
            throw Error("Файл «" + path + "»: в индексе нет тега " + IndexName);
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
        if (impl->mdx)
            impl->mdx->flush();
    }
}

void Table::flush(bool durable)
{
    if (!d || !d->dbf)
        return;
    d->dbf->flush();
    if (d->mdx)
        d->mdx->flush();
    if (durable) {
        d->dbf->sync();
        if (d->mdx)
            d->mdx->sync();
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
            std::string value = m->fieldAsString(MasterFields);
            numkey::Key k = numkey::fromText(value);
            std::string key(reinterpret_cast<const char *>(k.data()), k.size());
            if (d->mdx->tag(d->tag).keyType == 'C') {
                key = value;
                key.resize(size_t(d->mdx->tag(d->tag).keyLength), ' ');
            }
            for (uint32_t r : d->mdx->seek(d->tag, key))
                d->view.push_back(int64_t(r) - 1);
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
        for (const MdxIndex::Entry &e : d->mdx->walk(d->tag))
            d->view.push_back(int64_t(e.second) - 1);
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
        if (d->mdx) {
            d->mdx->replace(std::vector<std::vector<MdxIndex::Entry>>(size_t(d->mdx->tagCount())));
            d->mdx->flush();
        }
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
        if (asciiUpper(f[k].name) == asciiUpper(name))
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
    if (d->mdx)
        for (int t = 0; t < d->mdx->tagCount(); ++t)
            if (d->tagField[size_t(t)] >= 0)
                d->mdx->insert(t, keyOf(t, r), uint32_t(r + 1));
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

void createDbaseTable(const std::string &folder, const std::string &name, const tables::FieldDefs &fields,
                      const std::vector<IndexDef> &indexes, uint8_t languageDriver)
{
    const size_t n = fields.size();
    const size_t headerLength = 32 + 32 * n + 1;
    size_t recordLength = 1;
    for (const FieldDef &f : fields)
        recordLength += size_t(f.width);
    std::vector<uint8_t> h(headerLength + 1, 0);
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    tm = localTime(now);
    h[0] = 0x03;
    h[1] = uint8_t(tm.tm_year);
    h[2] = uint8_t(tm.tm_mon + 1);
    h[3] = uint8_t(tm.tm_mday);
    bytes::putLe16(h.data() + 8, uint16_t(headerLength));
    bytes::putLe16(h.data() + 10, uint16_t(recordLength));
    h[28] = indexes.empty() ? 0 : 1;
    h[29] = languageDriver;
    for (size_t i = 0; i < n; ++i) {
        uint8_t *d = h.data() + 32 + 32 * i;
        std::string fname = asciiUpper(fields[i].name).substr(0, 10);
        std::memcpy(d, fname.data(), fname.size());
        d[11] = uint8_t(fields[i].nativeType);
        d[16] = uint8_t(fields[i].width);
        d[17] = uint8_t(fields[i].decimals);
        for (const IndexDef &x : indexes)
            if (asciiUpper(x.fields) == asciiUpper(fields[i].name))
                d[31] = 1;
    }
    h[headerLength - 1] = 0x0D;
    h[headerLength] = 0x1A;
    auto writeAll = [](const std::string &path, const std::vector<uint8_t> &bytes) {
        File f(path, File::Create);
        f.writeAt(bytes.data(), bytes.size(), 0);
    };
    writeAll(folder + name, h);
    if (indexes.empty())
        return;
    const std::string stem = asciiUpper(splitPath(name).stem);
    std::vector<MdxIndex::TagSpec> specs;
    for (const IndexDef &x : indexes) {
        MdxIndex::TagSpec s;
        s.name = x.name;
        s.expression = x.fields;
        for (const FieldDef &f : fields)
            if (asciiUpper(f.name) == asciiUpper(x.fields)) {
                s.keyType = f.nativeType == 'C' ? 'C' : (f.nativeType == 'D' ? 'D' : 'N');
                s.keyLength = s.keyType == 'C' ? f.width : (s.keyType == 'D' ? 8 : 12);
            }
        specs.push_back(s);
    }
    writeAll(folder + stem + ".MDX", MdxIndex::image(stem, languageDriver, specs, {}));
}

} // namespace tables

#include "selection/csvexport.h"

#include "selection/tablemodel.h"
#include "tables/error.h"
#include "tables/table.h"
#include "tables/recordsource.h"

#include <QSaveFile>

#include <algorithm>
#include <charconv>
#include <set>
#include <cmath>
#include <cstdio>

namespace selection {

using tables::Value;

namespace {

constexpr int64_t kLastDay = 3652059;     // 9999-12-31
constexpr int64_t kDayMs = 86400000;
constexpr int64_t kUnixDay = 719163;      // day number of 1970-01-01 (day 1 = 0001-01-01)
constexpr size_t kFlushAt = 1 << 20;

void appendDigits(std::string &out, int64_t value, int width)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    for (int pad = width - int(r.ptr - buf); pad > 0; --pad)
        out += '0';
    out.append(buf, r.ptr);
}

// Proleptic Gregorian calendar date of a day number (days since 1970-01-01 in the algorithm).
bool appendDate(std::string &out, int64_t day)
{
    if (day < 1 || day > kLastDay)
        return false;
    const int64_t z = day - kUnixDay + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2);
    appendDigits(out, y, 4);
    out += '-';
    appendDigits(out, m, 2);
    out += '-';
    appendDigits(out, d, 2);
    return true;
}

bool appendTime(std::string &out, int64_t ms)
{
    if (ms < 0 || ms >= kDayMs)
        return false;
    appendDigits(out, ms / 3600000, 2);
    out += ':';
    appendDigits(out, ms / 60000 % 60, 2);
    out += ':';
    appendDigits(out, ms / 1000 % 60, 2);
    if (ms % 1000) {
        out += '.';
        appendDigits(out, ms % 1000, 3);
    }
    return true;
}

// As the grid shows numbers, with a dot: the field's decimals, but no digits beyond what the
// double holds; the shortest exact form without decimals; exponent form when very large or small.
void appendNumber(std::string &out, double value, int decimals)
{
    if (value == 0)
        value = 0; // no "-0"
    char buf[400];
    if (!std::isfinite(value)) {
        out += std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
        return;
    }
    const double magnitude = std::fabs(value);
    if (value != 0 && (magnitude < 1e-5 || magnitude >= 1e16)) {
        const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
        out.append(buf, r.ptr);
        return;
    }
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    std::string_view text(buf, size_t(r.ptr - buf));
    if (decimals < 0) {
        out += text;
        return;
    }
    const size_t point = text.find('.');
    const int have = point == std::string_view::npos ? 0 : int(text.size() - point - 1);
    if (have > decimals) {
        r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
        out.append(buf, r.ptr);
        return;
    }
    out += text;
    if (decimals > 0 && have == 0)
        out += '.';
    out.append(size_t(decimals - have), '0');
}

void appendHex(std::string &out, std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    out.reserve(out.size() + bytes.size() * 2);
    for (const char c : bytes) {
        out += digits[(static_cast<unsigned char>(c) >> 4) & 0xF];
        out += digits[static_cast<unsigned char>(c) & 0xF];
    }
}

void put(QIODevice &out, std::string &buffer)
{
    if (out.write(buffer.data(), qint64(buffer.size())) != qint64(buffer.size()))
        throw tables::Error("Файл «" + out.objectName().toStdString() + "»: ошибка записи: " + out.errorString().toStdString());
    buffer.clear();
}

} // namespace

bool appendNeutral(std::string &out, const Value &value)
{
    switch (value.kind) {
    case Value::Kind::Null:
        return true;
    case Value::Kind::Text:
        out += value.text;
        return true;
    case Value::Kind::Memo:
        if (value.text.find('\0') != std::string::npos)
            appendHex(out, value.text);
        else
            out += value.text;
        return true;
    case Value::Kind::Integer:
        appendDigits(out, value.integer, 0);
        return true;
    case Value::Kind::Number:
        appendNumber(out, value.number, value.decimals);
        return true;
    case Value::Kind::Currency:
        appendNumber(out, value.number, value.decimals < 2 ? 2 : value.decimals);
        return true;
    case Value::Kind::Boolean:
        out += value.integer ? "true" : "false";
        return true;
    case Value::Kind::Date:
        return appendDate(out, value.integer);
    case Value::Kind::Time:
        return appendTime(out, value.integer);
    case Value::Kind::DateTime: {
        const size_t start = out.size();
        if (appendDate(out, value.integer) && (out += 'T', appendTime(out, value.ms)))
            return true;
        out.resize(start);
        return false;
    }
    case Value::Kind::Binary:
        appendHex(out, value.text);
        return true;
    case Value::Kind::Missing:
        return false;
    }
    return false;
}

namespace {

bool needsQuotes(std::string_view text)
{
    if (text.empty())
        return false;
    if (text.front() == ' ' || text.back() == ' ')
        return true;
    for (const char c : text)
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    return false;
}

// The field that begins at `start` of `out` quoted in place.
void quoteFrom(std::string &out, size_t start)
{
    const std::string text = out.substr(start);
    out.resize(start);
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

void appendCsvField(std::string &out, std::string_view text)
{
    const size_t start = out.size();
    out += text;
    if (needsQuotes(text))
        quoteFrom(out, start);
}

CsvResult writeCsv(const tables::RecordSource &source, QIODevice &out, const CsvProgress &progress)
{
    CsvResult result;
    const tables::FieldDefs &fields = source.fields();
    const int64_t records = source.recordCount();
    std::string buffer = "\xEF\xBB\xBF";
    for (size_t f = 0; f < fields.size(); ++f) {
        if (f)
            buffer += ',';
        appendCsvField(buffer, fields[f].name);
    }
    buffer += "\r\n";
    auto problem = [&](const std::string &what) {
        if (result.problem.empty())
            result.problem = what;
    };
    if (progress && !progress(0, records)) {
        result.cancelled = true;
        return result;
    }
    const std::string warning = source.warning();
    if (!warning.empty())
        problem(warning);
    for (int64_t r = 0; r < records; ++r) {
        const size_t lineStart = buffer.size();
        try {
            if (source.isDeleted(r))
                continue;
            for (int f = 0; f < int(fields.size()); ++f) {
                if (f)
                    buffer += ',';
                const Value value = source.wholeValue(r, f);
                const size_t start = buffer.size();
                if (!appendNeutral(buffer, value)) {
                    ++result.unreadable;
                    problem("запись " + std::to_string(r + 1) + ", поле «" + fields[size_t(f)].name + "»: " +
                            (value.kind == Value::Kind::Missing ? value.text : std::string("неверное значение")));
                }
                if (needsQuotes(std::string_view(buffer).substr(start)))
                    quoteFrom(buffer, start);
            }
        } catch (const tables::Error &e) {
            // The record area cannot be read from here on: the lines before it stand.
            buffer.resize(lineStart);
            problem(e.what());
            break;
        }
        buffer += "\r\n";
        ++result.records;
        if (buffer.size() >= kFlushAt) {
            put(out, buffer);
            if (progress && !progress(r + 1, records)) {
                result.cancelled = true;
                return result;
            }
        }
    }
    put(out, buffer);
    return result;
}

CsvResult saveCsv(const tables::RecordSource &source, const QString &path, const CsvProgress &progress)
{
    QSaveFile file(path);
    file.setObjectName(path);
    if (!file.open(QIODevice::WriteOnly))
        throw tables::Error("Файл «" + path.toStdString() + "»: не удаётся создать: " + file.errorString().toStdString());
    CsvResult result = writeCsv(source, file, progress);
    if (result.cancelled) {
        file.cancelWriting();
        return result;
    }
    if (!file.commit())
        throw tables::Error("Файл «" + path.toStdString() + "»: ошибка записи: " + file.errorString().toStdString());
    return result;
}

QString tabSeparated(const std::vector<std::vector<QString>> &rows)
{
    QString text;
    for (const auto &row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            if (c)
                text += u'\t';
            QString cell = row[c];
            for (QChar &ch : cell)
                if (ch == u'\t' || ch == u'\n' || ch == u'\r')
                    ch = u' ';
            text += cell;
        }
        text += u'\n';
    }
    return text;
}

QString copiedCells(const TableModel &model, const QModelIndexList &selected)
{
    const tables::RecordSource *source = model.table() ? model.table()->source() : nullptr;
    if (!source || selected.isEmpty())
        return {};
    std::set<int> rows, columns;
    std::set<std::pair<int, int>> cells;
    for (const QModelIndex &index : selected) {
        rows.insert(index.row());
        columns.insert(index.column());
        cells.insert({index.row(), index.column()});
    }
    std::vector<std::vector<QString>> table;
    for (const int row : rows) {
        const int64_t record = model.recordOfRow(row);
        std::vector<QString> line;
        for (const int column : columns) {
            std::string text;
            if (record >= 0 && cells.count({row, column})) {
                try {
                    appendNeutral(text, source->wholeValue(record, column));
                } catch (const tables::Error &) {
                    // A cell that cannot be read is copied empty, as the grid shows it.
                }
            }
            line.push_back(QString::fromStdString(text));
        }
        table.push_back(std::move(line));
    }
    return tabSeparated(table);
}

} // namespace selection

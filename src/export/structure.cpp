#include "export/structure.h"

#include "tables/codepage.h"
#include "tables/codepagechoice.h"
#include "tables/error.h"
#include "tables/fielddef.h"
#include "tables/file.h"

#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

namespace exporter {

namespace {

using tables::CodePageVerdict;
using tables::CompanionInfo;
using tables::FieldInfo;
using tables::TableInfo;

// Text that is not valid UTF-8 (a file name in another encoding) gets U+FFFD for each bad byte.
std::string validUtf8(const std::string &s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool ok = n > 0 && i + size_t(n) <= s.size();
        for (int k = 1; ok && k < n; ++k)
            ok = (static_cast<unsigned char>(s[i + size_t(k)]) & 0xC0) == 0x80;
        if (ok && n == 2)
            ok = c >= 0xC2;
        if (!ok) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        out.append(s, i, size_t(n));
        i += size_t(n);
    }
    return out;
}

const char *sourceKey(CodePageVerdict::Source s)
{
    switch (s) {
    case CodePageVerdict::Header: return "header";
    case CodePageVerdict::CpgFile: return "cpg";
    case CodePageVerdict::Text: return "text";
    case CodePageVerdict::User: return "user";
    case CodePageVerdict::Locale: return "locale";
    }
    return "locale";
}

const char *stateKey(CompanionInfo::State s)
{
    switch (s) {
    case CompanionInfo::Found: return "found";
    case CompanionInfo::Missing: return "missing";
    case CompanionInfo::Damaged: return "damaged";
    }
    return "found";
}

std::string percent(const CodePageVerdict &v)
{
    if (v.lettersChecked == 0)
        return {};
    return std::to_string((v.lettersFit * 100 + v.lettersChecked / 2) / v.lettersChecked) + "%";
}

// The code page verdict in words: "866 — по заголовку (0x65)", "1251 — по тексту, 97% букв
// читаются (64 из 66)".
std::string verdictText(const TableInfo &t)
{
    if (!t.codePageKnown)
        return {};
    const CodePageVerdict &v = t.codePage;
    std::string s = tables::codepage::displayName(v.codePage) + " — ";
    switch (v.source) {
    case CodePageVerdict::Header: s += "по заголовку таблицы"; break;
    case CodePageVerdict::CpgFile: s += "по файлу .cpg"; break;
    case CodePageVerdict::Text: s += "по тексту таблицы"; break;
    case CodePageVerdict::User: s += "выбрана пользователем"; break;
    case CodePageVerdict::Locale: s += "по языку системы"; break;
    }
    if (!v.mark.empty())
        s += " (" + v.mark + ")";
    if (v.lettersChecked > 0)
        s += "; букв читается " + percent(v) + " (" + std::to_string(v.lettersFit) + " из " +
             std::to_string(v.lettersChecked) + ")";
    return s;
}

std::string companionState(CompanionInfo::State s)
{
    switch (s) {
    case CompanionInfo::Found: return "есть";
    case CompanionInfo::Missing: return "нет";
    case CompanionInfo::Damaged: return "повреждён";
    }
    return {};
}

std::string companionKind(const std::string &kind)
{
    if (kind == "memo") return "примечания";
    if (kind == "blob") return "BLOB";
    if (kind == "index") return "индекс";
    if (kind == "cpg") return "кодовая страница";
    if (kind == "primary-index") return "первичный индекс";
    if (kind == "secondary-index") return "вторичный индекс";
    if (kind == "validity") return "проверки значений";
    if (kind == "view") return "вид таблицы";
    if (kind == "family") return "семейство";
    return kind;
}

std::string flagsText(const FieldInfo &f)
{
    std::string s;
    auto add = [&](const std::string &w) { s += (s.empty() ? "" : ", ") + w; };
    if (f.key) add("ключ");
    if (f.nullable) add("может быть пустым (NULL)");
    if (f.binary) add("двоичное");
    if (f.system) add("системное");
    if (f.autoIncrement) {
        std::string a = "автоприращение";
        if (f.autoNext)
            a += ", следующее " + std::to_string(*f.autoNext);
        if (f.autoStep)
            a += ", шаг " + std::to_string(*f.autoStep);
        add(a);
    }
    return s;
}

std::string opt(const std::optional<int64_t> &v) { return v ? std::to_string(*v) : std::string(); }

std::string recordsText(const TableInfo &t)
{
    std::string s;
    if (t.headerRecords)
        s += "по заголовку " + std::to_string(*t.headerRecords);
    if (t.fileRecords)
        s += (s.empty() ? "" : ", ") + std::string("в файле ") + std::to_string(*t.fileRecords);
    if (t.deletedRecords)
        s += (s.empty() ? "" : ", ") + std::string("удалённых ") + std::to_string(*t.deletedRecords);
    return s;
}

std::string tagText(const tables::IndexTagInfo &g)
{
    std::string s;
    auto add = [&](const std::string &w) { s += (s.empty() ? "" : ", ") + w; };
    if (g.descending) add("по убыванию");
    if (g.unique) add("уникальный");
    if (!g.filter.empty()) add("условие: " + g.filter);
    return s;
}

std::string numberOrDash(const TableInfo &t) { return t.number > 0 ? std::to_string(t.number) : "—"; }

// The facts of one table as (label, value) pairs, for the two human formats.
std::vector<std::pair<std::string, std::string>> facts(const TableInfo &t)
{
    std::vector<std::pair<std::string, std::string>> f;
    auto add = [&](const char *label, const std::string &value) {
        if (!value.empty())
            f.emplace_back(label, value);
    };
    add("Номер в каталоге", t.number > 0 ? std::to_string(t.number) : "");
    add("Полный путь", t.path);
    add("Ошибка", t.error);
    add("Формат", t.level.empty() ? t.format : t.level);
    if (t.versionByte >= 0) {
        char b[16];
        std::snprintf(b, sizeof b, "0x%02X", unsigned(t.versionByte) & 0xFFu);
        add(t.format == "Paradox" ? "Версия файла" : "Код версии", b);
    }
    add("Кодовая страница", verdictText(t));
    add("Записей", recordsText(t));
    add("Дата последнего изменения", t.lastUpdate);
    add("Длина заголовка, байт", opt(t.headerLength));
    add("Длина записи, байт", opt(t.recordLength));
    add("Размер блока, байт", opt(t.blockSize));
    add("Размер файла, байт", opt(t.fileSize));
    add("Время файла (UTC)", t.fileTime);
    if (t.error.empty())
        add("Зашифрована", t.encrypted ? "да" : "нет");
    std::string keys;
    for (const std::string &k : t.keyFields)
        keys += (keys.empty() ? "" : ", ") + k;
    add("Ключевые поля", keys);
    return f;
}

// ---------------------------------------------------------------- JSON

// Appends `s` with each byte `escape` names replaced by its text (nullptr: kept), and every byte
// that is not valid UTF-8 by U+FFFD. Runs of plain bytes are copied at once.
template <class Escape>
void putEscaped(std::string &out, std::string_view s, Escape escape)
{
    size_t run = 0, i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            const char *e = escape(c);
            if (!e) {
                ++i;
                continue;
            }
            out.append(s.data() + run, i - run);
            out += e;
            run = ++i;
            continue;
        }
        const size_t n = tables::codepage::utf8Length(s, i);
        if (n) {
            i += n;
            continue;
        }
        out.append(s.data() + run, i - run);
        out += "\xEF\xBF\xBD";
        run = ++i;
    }
    out.append(s.data() + run, i - run);
}

void putJson(std::string &out, std::string_view s)
{
    static const char *const control[32] = {
        "\\u0000", "\\u0001", "\\u0002", "\\u0003", "\\u0004", "\\u0005", "\\u0006", "\\u0007",
        "\\b",     "\\t",     "\\n",     "\\u000b", "\\f",     "\\r",     "\\u000e", "\\u000f",
        "\\u0010", "\\u0011", "\\u0012", "\\u0013", "\\u0014", "\\u0015", "\\u0016", "\\u0017",
        "\\u0018", "\\u0019", "\\u001a", "\\u001b", "\\u001c", "\\u001d", "\\u001e", "\\u001f"};
    out += '"';
    putEscaped(out, s, [](unsigned char c) -> const char * {
        if (c < 0x20)
            return control[c];
        return c == '"' ? "\\\"" : c == '\\' ? "\\\\" : c == 0x7F ? "\\u007f" : nullptr;
    });
    out += '"';
}

void putNumber(std::string &out, int64_t v)
{
    char b[24];
    const auto r = std::to_chars(b, b + sizeof b, v);
    out.append(b, r.ptr);
}

void putJsonOpt(std::string &out, const std::optional<int64_t> &v)
{
    if (v)
        putNumber(out, *v);
    else
        out += "null";
}

void putJsonText(std::string &out, const std::string &s)
{
    if (s.empty())
        out += "null";
    else
        putJson(out, s);
}

const char *jsonBool(bool b) { return b ? "true" : "false"; }

void putJsonField(std::string &out, const FieldInfo &f)
{
    out += "{\"number\": ";
    putNumber(out, f.number);
    out += ", \"name\": ";
    putJson(out, f.name);
    if (f.catalogued) {
        out += ", \"catalogue\": {\"name\": ";
        putJson(out, f.catalogueName);
        out += ", \"type\": ";
        putJson(out, f.catalogueType);
        out += ", \"size\": ";
        putNumber(out, f.catalogueSize);
        out += "}";
    } else {
        out += ", \"catalogue\": null";
    }
    out += ", \"native\": {\"code\": ";
    putJson(out, f.nativeCode);
    out += ", \"name\": ";
    putJson(out, f.nativeName);
    out += "}, \"width\": ";
    putNumber(out, f.width);
    out += ", \"decimals\": ";
    putNumber(out, f.decimals);
    out += ", \"offset\": ";
    putNumber(out, f.offset);
    out += ", \"nullable\": ";
    out += jsonBool(f.nullable);
    out += ", \"binary\": ";
    out += jsonBool(f.binary);
    out += ", \"system\": ";
    out += jsonBool(f.system);
    out += ", \"key\": ";
    out += jsonBool(f.key);
    if (f.autoIncrement) {
        out += ", \"autoIncrement\": {\"next\": ";
        putJsonOpt(out, f.autoNext);
        out += ", \"step\": ";
        putJsonOpt(out, f.autoStep);
        out += "}}";
    } else {
        out += ", \"autoIncrement\": null}";
    }
}

template <class T, class F>
void putJsonList(std::string &out, const std::vector<T> &items, F one)
{
    if (items.empty()) {
        out += "[]";
        return;
    }
    out += "[\n";
    for (size_t i = 0; i < items.size(); ++i) {
        out += "        ";
        one(items[i]);
        out += i + 1 < items.size() ? ",\n" : "\n";
    }
    out += "      ]";
}

void putJsonTable(std::string &out, const TableInfo &t)
{
    out += "    {\n      \"number\": ";
    if (t.number > 0)
        putNumber(out, t.number);
    else
        out += "null";
    out += ",\n      \"name\": ";
    putJson(out, t.name);
    out += ",\n      \"folder\": ";
    putJson(out, t.folder);
    out += ",\n      \"path\": ";
    putJson(out, t.path);
    out += ",\n      \"error\": ";
    putJsonText(out, t.error);
    out += ",\n      \"format\": ";
    putJsonText(out, t.format);
    out += ",\n      \"level\": ";
    putJsonText(out, t.level);
    out += ",\n      \"versionByte\": ";
    if (t.versionByte >= 0) {
        char b[16];
        std::snprintf(b, sizeof b, "\"0x%02X\"", unsigned(t.versionByte) & 0xFFu);
        out += b;
    } else {
        out += "null";
    }
    out += ",\n      \"codePage\": ";
    if (t.codePageKnown) {
        const CodePageVerdict &v = t.codePage;
        out += "{\"codePage\": ";
        putNumber(out, v.codePage);
        out += ", \"name\": ";
        putJson(out, tables::codepage::displayName(v.codePage));
        out += ", \"source\": \"";
        out += sourceKey(v.source);
        out += "\", \"mark\": ";
        putJsonText(out, v.mark);
        out += ", \"lettersChecked\": ";
        putNumber(out, v.lettersChecked);
        out += ", \"lettersFit\": ";
        putNumber(out, v.lettersFit);
        out += "}";
    } else {
        out += "null";
    }
    out += ",\n      \"records\": {\"header\": ";
    putJsonOpt(out, t.headerRecords);
    out += ", \"file\": ";
    putJsonOpt(out, t.fileRecords);
    out += ", \"deleted\": ";
    putJsonOpt(out, t.deletedRecords);
    out += "},\n      \"lastUpdate\": ";
    putJsonText(out, t.lastUpdate);
    out += ",\n      \"headerLength\": ";
    putJsonOpt(out, t.headerLength);
    out += ",\n      \"recordLength\": ";
    putJsonOpt(out, t.recordLength);
    out += ",\n      \"blockSize\": ";
    putJsonOpt(out, t.blockSize);
    out += ",\n      \"fileSize\": ";
    putJsonOpt(out, t.fileSize);
    out += ",\n      \"fileTime\": ";
    putJsonText(out, t.fileTime);
    out += ",\n      \"encrypted\": ";
    out += jsonBool(t.encrypted);
    out += ",\n      \"companions\": ";
    putJsonList(out, t.companions, [&out](const CompanionInfo &c) {
        out += "{\"kind\": ";
        putJson(out, c.kind);
        out += ", \"file\": ";
        putJson(out, c.file);
        out += ", \"state\": \"";
        out += stateKey(c.state);
        out += "\", \"note\": ";
        putJsonText(out, c.note);
        out += "}";
    });
    out += ",\n      \"indexTags\": ";
    putJsonList(out, t.indexTags, [&out](const tables::IndexTagInfo &g) {
        out += "{\"file\": ";
        putJson(out, g.file);
        out += ", \"name\": ";
        putJson(out, g.name);
        out += ", \"expression\": ";
        putJson(out, g.expression);
        out += ", \"descending\": ";
        out += jsonBool(g.descending);
        out += ", \"unique\": ";
        out += jsonBool(g.unique);
        out += ", \"filter\": ";
        putJsonText(out, g.filter);
        out += "}";
    });
    out += ",\n      \"keyFields\": ";
    putJsonList(out, t.keyFields, [&out](const std::string &k) { putJson(out, k); });
    out += ",\n      \"findings\": ";
    putJsonList(out, t.findings, [&out](const std::string &k) { putJson(out, k); });
    out += ",\n      \"fields\": ";
    putJsonList(out, t.fields, [&out](const FieldInfo &f) { putJsonField(out, f); });
    out += "\n    }";
}

// ---------------------------------------------------------------- HTML

void putHtml(std::string &out, std::string_view s)
{
    putEscaped(out, s, [](unsigned char c) -> const char * {
        return c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '"' ? "&quot;" : nullptr;
    });
}

std::string html(const std::string &raw)
{
    std::string out;
    putHtml(out, raw);
    return out;
}

const char *kStyle = R"(body{font-family:"Liberation Sans",Arial,"DejaVu Sans",sans-serif;font-size:10pt;margin:1.5em;color:#000}
h1{font-size:16pt}h2{font-size:13pt;margin:0 0 .4em}h3{font-size:11pt;margin:.8em 0 .3em}
section{border:1px solid #000;padding:.6em .8em;margin:0 0 1.2em}
table{border-collapse:collapse;margin:.2em 0}th,td{border:1px solid #999;padding:.15em .4em;text-align:left;vertical-align:top}
table.facts th{font-weight:normal;background:#f2f2f2;white-space:nowrap}table.facts td,h2,nav li{overflow-wrap:anywhere}
table.fields th{background:#f2f2f2}td.n{text-align:right}
.error{color:#a00;font-weight:bold}ul.findings li{color:#a00}.muted{color:#666}
nav ol{columns:2;column-gap:2em}
@media print{body{margin:0}section{break-inside:auto}h2,h3{break-after:avoid}tr{break-inside:avoid}a{color:#000;text-decoration:none}}
)";

void putHtmlTable(std::string &s, const TableInfo &t, size_t position)
{
    const std::string id = "t" + std::to_string(position);
    s += "<section id=\"" + id + "\">\n<h2>" + html(numberOrDash(t)) + ". " + html(t.name) +
                    " <span class=\"muted\">" + html(t.folder) + "</span></h2>\n";
    s += "<table class=\"facts\">\n";
    for (const auto &[label, value] : facts(t))
        s += "<tr><th>" + html(label) + "</th><td" + (std::string(label) == "Ошибка" ? " class=\"error\"" : "") + ">" +
             html(value) + "</td></tr>\n";
    s += "</table>\n";
    if (!t.findings.empty()) {
        s += "<h3>Замечания</h3>\n<ul class=\"findings\">\n";
        for (const std::string &f : t.findings)
            s += "<li>" + html(f) + "</li>\n";
        s += "</ul>\n";
    }
    if (!t.fields.empty()) {
        s += "<h3>Поля</h3>\n<table class=\"fields\">\n<thead><tr><th>№</th><th>Имя</th><th>В каталоге: имя</th>"
             "<th>тип</th><th>размер</th><th>Тип в файле</th><th>Ширина</th><th>Дес.</th><th>Смещение</th>"
             "<th>Признаки</th></tr></thead>\n<tbody>\n";
        for (const FieldInfo &f : t.fields) {
            s += "<tr><td class=\"n\">";
            putNumber(s, f.number);
            s += "</td><td>";
            putHtml(s, f.name);
            if (f.catalogued) {
                s += "</td><td>";
                putHtml(s, f.catalogueName);
                s += "</td><td>";
                putHtml(s, f.catalogueType);
                s += "</td><td class=\"n\">";
                putNumber(s, f.catalogueSize);
                s += "</td>";
            } else {
                s += "</td><td class=\"muted\">—</td><td></td><td></td>";
            }
            s += "<td>";
            putHtml(s, f.nativeCode);
            s += " ";
            putHtml(s, f.nativeName);
            s += "</td><td class=\"n\">";
            putNumber(s, f.width);
            s += "</td><td class=\"n\">";
            putNumber(s, f.decimals);
            s += "</td><td class=\"n\">";
            putNumber(s, f.offset);
            s += "</td><td>";
            if (f.key || f.nullable || f.binary || f.system || f.autoIncrement)
                putHtml(s, flagsText(f));
            s += "</td></tr>\n";
        }
        s += "</tbody>\n</table>\n";
    }
    if (!t.indexTags.empty()) {
        s += "<h3>Индексы</h3>\n<table class=\"fields\">\n<thead><tr><th>Файл</th><th>Тег</th><th>Выражение</th>"
             "<th>Свойства</th></tr></thead>\n<tbody>\n";
        for (const tables::IndexTagInfo &g : t.indexTags)
            s += "<tr><td>" + html(g.file) + "</td><td>" + html(g.name) + "</td><td>" + html(g.expression) +
                 "</td><td>" + html(tagText(g)) + "</td></tr>\n";
        s += "</tbody>\n</table>\n";
    }
    if (!t.companions.empty()) {
        s += "<h3>Сопутствующие файлы</h3>\n<table class=\"fields\">\n<thead><tr><th>Файл</th><th>Назначение</th>"
             "<th>Состояние</th></tr></thead>\n<tbody>\n";
        for (const CompanionInfo &c : t.companions)
            s += "<tr><td>" + html(c.file) + "</td><td>" + html(companionKind(c.kind)) + "</td><td" +
                 (c.state == CompanionInfo::Found ? "" : " class=\"error\"") + ">" + html(companionState(c.state)) +
                 (c.note.empty() ? "" : ": " + html(c.note)) + "</td></tr>\n";
        s += "</tbody>\n</table>\n";
    }
    s += "</section>\n";
}

// ---------------------------------------------------------------- Markdown

std::string md(const std::string &raw)
{
    const std::string s = validUtf8(raw);
    std::string out;
    for (char c : s) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '\n': case '\r': out += ' '; break;
        case '\\': case '`': case '*': case '_': case '[': case ']': case '|': case '#': case '~':
            out += '\\';
            out += c;
            break;
        default: out += c;
        }
    }
    return out;
}

std::string mdTable(const TableInfo &t, size_t position)
{
    std::string s = "<a id=\"t" + std::to_string(position) + "\"></a>\n\n## " + md(numberOrDash(t)) + ". " + md(t.name) + "\n\n";
    s += "| Свойство | Значение |\n|---|---|\n";
    for (const auto &[label, value] : facts(t))
        s += "| " + md(label) + " | " + md(value) + " |\n";
    if (!t.findings.empty()) {
        s += "\n### Замечания\n\n";
        for (const std::string &f : t.findings)
            s += "- " + md(f) + "\n";
    }
    if (!t.fields.empty()) {
        s += "\n### Поля\n\n| № | Имя | В каталоге: имя | тип | размер | Тип в файле | Ширина | Дес. | Смещение | Признаки |\n"
             "|---:|---|---|---|---:|---|---:|---:|---:|---|\n";
        for (const FieldInfo &f : t.fields) {
            s += "| " + std::to_string(f.number) + " | " + md(f.name) + " | ";
            s += f.catalogued ? md(f.catalogueName) + " | " + md(f.catalogueType) + " | " + std::to_string(f.catalogueSize)
                              : std::string("— |  | ");
            s += " | " + md(f.nativeCode + " " + f.nativeName) + " | " + std::to_string(f.width) + " | " +
                 std::to_string(f.decimals) + " | " + std::to_string(f.offset) + " | " + md(flagsText(f)) + " |\n";
        }
    }
    if (!t.indexTags.empty()) {
        s += "\n### Индексы\n\n| Файл | Тег | Выражение | Свойства |\n|---|---|---|---|\n";
        for (const tables::IndexTagInfo &g : t.indexTags)
            s += "| " + md(g.file) + " | " + md(g.name) + " | " + md(g.expression) + " | " + md(tagText(g)) + " |\n";
    }
    if (!t.companions.empty()) {
        s += "\n### Сопутствующие файлы\n\n| Файл | Назначение | Состояние |\n|---|---|---|\n";
        for (const CompanionInfo &c : t.companions)
            s += "| " + md(c.file) + " | " + md(companionKind(c.kind)) + " | " + md(companionState(c.state)) +
                 (c.note.empty() ? "" : ": " + md(c.note)) + " |\n";
    }
    return s + "\n";
}

// ---------------------------------------------------------------- CSV

std::string csvCell(const std::string &raw)
{
    const std::string s = validUtf8(raw);
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

std::string csvRow(const std::vector<std::string> &cells)
{
    std::string s;
    for (size_t i = 0; i < cells.size(); ++i)
        s += (i ? "," : "") + csvCell(cells[i]);
    return s + "\r\n";
}

std::string joined(const std::vector<std::string> &parts, const char *between)
{
    std::string s;
    for (const std::string &p : parts)
        s += (s.empty() ? "" : between) + p;
    return s;
}

} // namespace

std::optional<Format> formatOf(const std::string &path)
{
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::nullopt;
    std::string ext;
    for (char c : path.substr(dot + 1))
        ext += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (ext == "html" || ext == "htm")
        return Format::Html;
    if (ext == "md" || ext == "markdown")
        return Format::Markdown;
    if (ext == "json")
        return Format::Json;
    if (ext == "csv")
        return Format::Csv;
    return std::nullopt;
}

// ---------------------------------------------------------------- Text

Text::Text(Format format)
    : format_(format)
{
    switch (format_) {
    case Format::Html:
        head_ = "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n<title>Описание таблиц</title>\n<style>\n";
        head_ += kStyle;
        head_ += "</style>\n</head>\n<body>\n<h1>Описание таблиц</h1>\n<nav>\n<h2>Содержание</h2>\n<ol>\n";
        break;
    case Format::Markdown:
        head_ = "# Описание таблиц\n\n## Содержание\n\n";
        break;
    case Format::Json:
        head_ = "{\n  \"format\": \"zorvik-structure\",\n  \"version\": 1,\n  \"tables\": ";
        break;
    case Format::Csv:
        head_ = "\xEF\xBB\xBF";
        head_ += csvRow({"table_number", "name", "folder", "path", "error", "format", "level", "code_page",
                         "code_page_source", "header_records", "file_records", "deleted_records", "last_update",
                         "header_length", "record_length", "file_size", "file_time", "encrypted", "findings",
                         "field_number", "field_name", "catalogue_name", "catalogue_type", "catalogue_size",
                         "native_code", "native_name", "width", "decimals", "offset", "nullable", "binary", "system",
                         "key", "autoincrement_next", "autoincrement_step"});
        break;
    }
}

std::string &Text::section()
{
    constexpr size_t kChunk = size_t(1) << 20;
    if (sections_.empty() || sections_.back().size() >= kChunk) {
        sections_.emplace_back();
        sections_.back().reserve(kChunk + kChunk / 4);
    }
    return sections_.back();
}

void Text::add(const TableInfo &t)
{
    const size_t position = ++count_;
    switch (format_) {
    case Format::Html:
        contents_ += "<li><a href=\"#t" + std::to_string(position) + "\">" + html(t.name) + "</a> <span class=\"muted\">" +
                     html(t.folder) + "</span>" + (t.error.empty() ? "" : " <span class=\"error\">ошибка</span>") +
                     (t.error.empty() && !t.findings.empty()
                          ? " <span class=\"error\">замечания: " + std::to_string(t.findings.size()) + "</span>"
                          : "") +
                     "</li>\n";
        putHtmlTable(section(), t, position);
        break;
    case Format::Markdown:
        contents_ += std::to_string(position) + ". [" + md(t.name) + "](#t" + std::to_string(position) + ") — " +
                     md(t.folder) + (t.error.empty() ? "" : " (ошибка)") +
                     (t.error.empty() && !t.findings.empty() ? " (замечания: " + std::to_string(t.findings.size()) + ")" : "") +
                     "\n";
        section() += mdTable(t, position);
        break;
    case Format::Json: {
        std::string &s = section();
        s += position == 1 ? "[\n" : ",\n";
        putJsonTable(s, t);
        break;
    }
    case Format::Csv: {
        std::string &s = section();
        const std::vector<std::string> table = {
            t.number > 0 ? std::to_string(t.number) : "", t.name, t.folder, t.path, t.error, t.format, t.level,
            t.codePageKnown ? tables::codepage::displayName(t.codePage.codePage) : "",
            t.codePageKnown ? sourceKey(t.codePage.source) : "", opt(t.headerRecords), opt(t.fileRecords),
            opt(t.deletedRecords), t.lastUpdate, opt(t.headerLength), opt(t.recordLength), opt(t.fileSize), t.fileTime,
            t.error.empty() ? (t.encrypted ? "true" : "false") : "", joined(t.findings, " ")};
        if (t.fields.empty()) {
            std::vector<std::string> row = table;
            row.resize(row.size() + 16);
            s += csvRow(row);
            break;
        }
        for (const FieldInfo &f : t.fields) {
            std::vector<std::string> row = table;
            const auto b = [](bool v) { return std::string(v ? "true" : "false"); };
            row.insert(row.end(), {std::to_string(f.number), f.name, f.catalogued ? f.catalogueName : "",
                                   f.catalogued ? f.catalogueType : "", f.catalogued ? std::to_string(f.catalogueSize) : "",
                                   f.nativeCode, f.nativeName, std::to_string(f.width), std::to_string(f.decimals),
                                   std::to_string(f.offset), b(f.nullable), b(f.binary), b(f.system), b(f.key),
                                   opt(f.autoNext), opt(f.autoStep)});
            s += csvRow(row);
        }
        break;
    }
    }
}

std::vector<std::string_view> Text::pieces() const
{
    // What closes the contents list, and the end of the text.
    std::string_view middle, tail;
    switch (format_) {
    case Format::Html:
        middle = count_ ? "</ol>\n</nav>\n" : "</ol>\n</nav>\n<p class=\"muted\">Таблиц нет.</p>\n";
        tail = "</body>\n</html>\n";
        break;
    case Format::Markdown:
        middle = count_ ? "\n" : "Таблиц нет.\n\n";
        break;
    case Format::Json:
        if (count_)
            tail = "\n  ]\n}\n";
        else
            middle = "[]\n}\n";
        break;
    case Format::Csv:
        break;
    }
    std::vector<std::string_view> out = {head_, contents_, middle};
    for (const std::string &s : sections_)
        out.push_back(s);
    out.push_back(tail);
    return out;
}

std::string Text::whole() const
{
    const std::vector<std::string_view> parts = pieces();
    size_t size = 0;
    for (std::string_view p : parts)
        size += p.size();
    std::string s;
    s.reserve(size);
    for (std::string_view p : parts)
        s += p;
    return s;
}

std::string render(Format format, const std::vector<TableInfo> &tables)
{
    Text text(format);
    for (const TableInfo &t : tables)
        text.add(t);
    return text.whole();
}

// ---------------------------------------------------------------- BackgroundText

namespace {

// The thread is woken for a batch of tables, not for each: a wake-up costs more than the text of
// a small table. A table waits with its files open, so the build waits in turn when the thread
// falls behind by two batches.
constexpr size_t kBatch = 16;
constexpr size_t kMostWaiting = 2 * kBatch;

} // namespace

BackgroundText::BackgroundText(Format format)
    : text_(format)
    , thread_([this] { run(); })
{
}

BackgroundText::~BackgroundText()
{
    stop(true);
}

void BackgroundText::stop(bool drop)
{
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        dropping_ = drop;
        if (drop)
            waiting_.clear();
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

void BackgroundText::add(std::function<tables::TableInfo()> describe)
{
    bool wake = false;
    {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [this] { return waiting_.size() < kMostWaiting; });
        waiting_.push_back(std::move(describe));
        wake = waiting_.size() == kBatch;
    }
    if (wake)
        wake_.notify_one();
}

void BackgroundText::run()
{
    std::deque<std::function<TableInfo()>> batch;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return closed_ || waiting_.size() >= kBatch; });
        if (waiting_.empty())
            return;
        batch.swap(waiting_);
        lock.unlock();
        room_.notify_one();
        for (std::function<TableInfo()> &describe : batch) {
            if (failure_ || dropping_.load())
                break;
            try {
                done_.push_back(describe());
                describe = nullptr; // lets the table's files go
                text_.add(done_.back());
            } catch (...) {
                failure_ = std::current_exception();
            }
        }
        batch.clear();
        lock.lock();
    }
}

std::vector<tables::TableInfo> BackgroundText::finish()
{
    stop(false);
    if (failure_)
        std::rethrow_exception(failure_);
    return std::move(done_);
}

void writeWhole(const std::string &path, const std::string &bytes)
{
    writeWhole(path, std::vector<std::string_view>{bytes});
}

void writeWhole(const std::string &path, const std::vector<std::string_view> &pieces)
{
    namespace fs = std::filesystem;
    auto fail = [&](const std::string &why) { tables::failFile(path, "не удаётся записать: " + why); };
    // The file layer's messages end with the system's reason; the one to show names the target.
    auto reasonOf = [](const tables::Error &e) {
        const std::string what = e.what();
        const size_t colon = what.rfind(": ");
        return colon == std::string::npos ? what : what.substr(colon + 2);
    };
    // A fresh name beside the target, so the rename stays on one file system.
    std::random_device random;
    std::string temp;
    std::error_code ec;
    for (int attempt = 0; attempt < 100 && temp.empty(); ++attempt) {
        static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::string candidate = path + '.';
        for (int i = 0; i < 6; ++i)
            candidate += letters[random() % (sizeof letters - 1)];
        if (!fs::exists(fs::symlink_status(fs::path(candidate), ec)))
            temp = std::move(candidate);
    }
    if (temp.empty())
        fail("нет свободного имени для временного файла");
    try {
        tables::File file(temp, tables::File::Create);
        try {
            int64_t at = 0;
            for (std::string_view piece : pieces) {
                file.writeAt(piece.data(), piece.size(), at);
                at += int64_t(piece.size());
            }
            file.sync();
            file.close();
        } catch (const tables::Error &) {
            file.close();
            fs::remove(fs::path(temp), ec);
            throw;
        }
    } catch (const tables::Error &e) {
        fail(reasonOf(e));
    }
    fs::rename(fs::path(temp), fs::path(path), ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(fs::path(temp), ignored);
        fail(ec.message());
    }
}

bool clean(const TableInfo &table)
{
    return table.error.empty() && table.findings.empty();
}

} // namespace exporter

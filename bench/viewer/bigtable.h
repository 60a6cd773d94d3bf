#pragma once
// The large table the viewer and records benchmarks share: a generated dBASE table of RECORDS
// records (10 columns of mixed types, about 1% deleted, fixed seed), Cyrillic in code page 1251.
#include "tables/table.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace bigtable {

// Cyrillic in code page 1251 (the table says so in its header): А..я are 0xC0..0xFF, Ё 0xA8,
// ё 0xB8; the texts below hold nothing else outside ASCII.
inline std::string cp1251(const char16_t *s)
{
    std::string out;
    for (; *s; ++s)
        out += *s == u'Ё' ? '\xA8' : *s == u'ё' ? '\xB8' : (*s >= u'А' && *s <= u'я') ? char(0xC0 + (*s - u'А')) : char(*s);
    return out;
}

inline void put(std::vector<char> &rec, int &at, const std::string &text, int width, bool right = false)
{
    std::string t = text.substr(0, size_t(width));
    const size_t pad = size_t(width) - t.size();
    if (right)
        t.insert(0, pad, ' ');
    else
        t.append(pad, ' ');
    std::memcpy(rec.data() + at, t.data(), size_t(width));
    at += width;
}

// Returns the number of deleted records written.
inline int64_t generate(const std::string &folder, const std::string &name, int64_t records, unsigned seed)
{
    const tables::FieldDefs fields = [] {
        auto f = [](const char *n, char t, int w, int d) { tables::FieldDef x; x.name = n; x.nativeType = t; x.width = w; x.decimals = d; return x; };
        return tables::FieldDefs{f("ID", 'N', 8, 0),    f("NAME", 'C', 20, 0),  f("CITY", 'C', 16, 0), f("AMOUNT", 'N', 12, 2),
                                 f("QTY", 'N', 5, 0),   f("BORN", 'D', 8, 0),   f("ACTIVE", 'L', 1, 0), f("RATE", 'F', 10, 4),
                                 f("CODE", 'C', 6, 0),  f("NOTE", 'C', 30, 0)};
    }();
    tables::createDbaseTable(folder, name, fields, {}, 0xC9);
    const std::vector<std::string> names = {cp1251(u"Иванов Иван"), cp1251(u"Пётр Щукин"), "Smith John", cp1251(u"Ёжиков Ъ"), cp1251(u"Сидорова Анна")};
    const std::vector<std::string> cities = {cp1251(u"Москва"), cp1251(u"Ярославль"), cp1251(u"Омск"), "London", cp1251(u"Тверь")};
    int recordLength = 1;
    for (const auto &f : fields)
        recordLength += f.width;
    const int headerLength = 32 + 32 * int(fields.size()) + 1;

    std::mt19937 rng(seed);
    std::fstream out(folder + name, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(headerLength);
    std::vector<char> buffer;
    buffer.reserve(1 << 20);
    std::vector<char> rec(static_cast<size_t>(recordLength), ' ');
    int64_t deleted = 0;
    char num[64];
    for (int64_t r = 0; r < records; ++r) {
        const bool del = rng() % 100 == 0;
        deleted += del;
        rec[0] = del ? '*' : ' ';
        int at = 1;
        put(rec, at, std::to_string(r + 1), 8, true);
        put(rec, at, names[rng() % names.size()], 20);
        put(rec, at, cities[rng() % cities.size()], 16);
        std::snprintf(num, sizeof num, "%.2f", double(int64_t(rng() % 20000000) - 10000000) / 100.0);
        put(rec, at, num, 12, true);
        put(rec, at, std::to_string(rng() % 1000), 5, true);
        std::snprintf(num, sizeof num, "%04u%02u%02u", unsigned(1940 + rng() % 70), unsigned(1 + rng() % 12), unsigned(1 + rng() % 28));
        put(rec, at, rng() % 10 ? num : "", 8);
        put(rec, at, rng() % 2 ? "T" : "F", 1);
        std::snprintf(num, sizeof num, "%.4f", double(rng() % 1000000) / 10000.0);
        put(rec, at, num, 10, true);
        std::snprintf(num, sizeof num, "K%05u", unsigned(rng() % 100000));
        put(rec, at, num, 6);
        put(rec, at, rng() % 3 ? "" : "note " + std::to_string(rng()), 30);
        buffer.insert(buffer.end(), rec.begin(), rec.end());
        if (buffer.size() >= (1 << 20) - size_t(recordLength)) {
            out.write(buffer.data(), std::streamsize(buffer.size()));
            buffer.clear();
        }
    }
    buffer.push_back(0x1A);
    out.write(buffer.data(), std::streamsize(buffer.size()));
    const uint32_t n = uint32_t(records);
    const char count[4] = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
    out.seekp(4);
    out.write(count, 4);
    return deleted;
}

} // namespace bigtable

// The table viewer's model on a large table: a generated dBASE table of 1,000,000 records
// (10 columns of mixed types, about 1% deleted, fixed seed), timed for opening and the row
// count, the first screen, a jump to the last row and 1,000 random rows, against a plain
// sequential read of the same file as the limit. Prints the peak resident memory.
//   bench_viewer [RECORDS] [SEED]
#include "selection/tablemodel.h"
#include "tables/table.h"

#include <QCoreApplication>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// Cyrillic in code page 1251 (the table says so in its header): А..я are 0xC0..0xFF, Ё 0xA8,
// ё 0xB8; the texts below hold nothing else outside ASCII.
std::string cp1251(const char16_t *s)
{
    std::string out;
    for (; *s; ++s)
        out += *s == u'Ё' ? '\xA8' : *s == u'ё' ? '\xB8' : (*s >= u'А' && *s <= u'я') ? char(0xC0 + (*s - u'А')) : char(*s);
    return out;
}

void put(std::vector<char> &rec, int &at, const std::string &text, int width, bool right = false)
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
int64_t generate(const std::string &folder, const std::string &name, int64_t records, unsigned seed)
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

long peakRssKb()
{
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// Reads every cell of `rows` rows starting at `first`; returns the characters seen (so the
// work cannot be optimised away).
size_t readRows(const selection::TableModel &model, int first, int rows)
{
    size_t chars = 0;
    for (int r = first; r < first + rows && r < model.rowCount(); ++r)
        for (int c = 0; c < model.columnCount(); ++c)
            chars += size_t(model.data(model.index(r, c)).toString().size());
    return chars;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int64_t records = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const unsigned seed = argc > 2 ? unsigned(std::atoi(argv[2])) : 20240315u;
    const fs::path scratch = fs::temp_directory_path() / ("zorvik-bench-viewer-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    const std::string folder = scratch.string() + "/";

    auto t = Clock::now();
    const int64_t deleted = generate(folder, "BIG.DBF", records, seed);
    const double generated = ms(t);
    const auto fileSize = fs::file_size(scratch / "BIG.DBF");
    std::printf("table: %lld records (%lld deleted), %.1f MiB, generated in %.0f ms\n", (long long)records,
                (long long)deleted, double(fileSize) / 1048576.0, generated);
    const long rssBefore = peakRssKb();

    // The limit: the same file read once from start to end, 1 MiB at a time.
    t = Clock::now();
    {
        std::vector<char> chunk(1 << 20);
        FILE *f = std::fopen((scratch / "BIG.DBF").c_str(), "rb");
        size_t total = 0, n;
        while ((n = std::fread(chunk.data(), 1, chunk.size(), f)) > 0)
            total += n;
        std::fclose(f);
        if (total != fileSize)
            std::printf("short read\n");
    }
    const double plainRead = ms(t);

    tables::Table Current;
    Current.DatabaseName = folder;
    Current.TableName = "BIG.DBF";
    selection::TableModel model(&Current);

    t = Clock::now();
    Current.Open();
    model.reset();
    const int rows = model.rowCount();
    const double open = ms(t);

    t = Clock::now();
    size_t chars = readRows(model, 0, 30);
    const double firstScreen = ms(t);

    t = Clock::now();
    chars += readRows(model, rows - 30, 30);
    const double lastScreen = ms(t);

    std::mt19937 rng(seed);
    t = Clock::now();
    for (int i = 0; i < 1000; ++i)
        chars += readRows(model, int(rng() % unsigned(rows)), 1);
    const double random = ms(t);

    std::printf("rows shown: %d (expected %lld), columns %d, cached rows %lld in %d blocks\n", rows,
                (long long)(records - deleted), model.columnCount(), (long long)model.cache().rowsHeld(),
                model.cache().blockCount());
    std::printf("plain sequential read (1 MiB chunks):  %8.1f ms\n", plainRead);
    std::printf("open + deleted map + rowCount:         %8.1f ms\n", open);
    std::printf("first screen (30 rows x %d columns):   %8.2f ms\n", model.columnCount(), firstScreen);
    std::printf("jump to the last row (last 30 rows):   %8.2f ms\n", lastScreen);
    std::printf("1,000 random rows (all columns):       %8.1f ms\n", random);
    std::printf("peak RSS (VmHWM): %ld KiB (before the model: %ld KiB)   [%zu chars read]\n", peakRssKb(), rssBefore, chars);

    Current.Close();
    model.reset();
    fs::remove_all(scratch);
    return rows == int(records - deleted) ? 0 : 1;
}

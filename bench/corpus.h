#pragma once
// The corpus the build benchmarks share: small dBASE III tables of mixed field kinds, made at
// run time from a seeded generator, so every benchmark sees the same tables.
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

// A dBASE III table with `fields` columns of mixed kinds and a few records.
inline void makeTable(const std::string &path, int fields, std::mt19937 &rng)
{
    const char kinds[] = {'C', 'N', 'D', 'L', 'F', 'M'};
    std::vector<uint8_t> h(32 + 32 * size_t(fields) + 1, 0);
    int recordLength = 1;
    for (int i = 0; i < fields; ++i) {
        uint8_t *d = h.data() + 32 + 32 * i;
        std::string name = "FLD" + std::to_string(i);
        std::copy(name.begin(), name.end(), d);
        char k = kinds[rng() % 6];
        int width = k == 'C' ? 1 + int(rng() % 60) : k == 'N' || k == 'F' ? 10 : k == 'D' ? 8 : k == 'L' ? 1 : 10;
        d[11] = uint8_t(k);
        d[16] = uint8_t(width);
        recordLength += width;
    }
    h[0] = 0x03;
    int records = int(rng() % 5);
    h[4] = uint8_t(records);
    h[8] = uint8_t(h.size() & 0xFF);
    h[9] = uint8_t(h.size() >> 8);
    h[10] = uint8_t(recordLength & 0xFF);
    h[11] = uint8_t(recordLength >> 8);
    h.back() = 0x0D;
    h.insert(h.end(), size_t(records * recordLength), ' ');
    h.push_back(0x1A);
    FILE *f = std::fopen(path.c_str(), "wb");
    std::fwrite(h.data(), 1, h.size(), f);
    std::fclose(f);
}

// `count` tables made by makeTable in one folder (with a trailing slash), named T0.DBF, T1.DBF
// ..., as a pick list: each table's name and folder, and the fields they hold in all.
struct Corpus {
    std::vector<std::string> names, folders, paths;
    long fields = 0;
};

inline Corpus makeCorpus(const std::string &folder, int count)
{
    Corpus c;
    std::mt19937 rng(12345);
    for (int i = 0; i < count; ++i) {
        const int fields = 5 + int(rng() % 36);
        c.fields += fields;
        c.names.push_back("T" + std::to_string(i) + ".DBF");
        c.folders.push_back(folder);
        c.paths.push_back(folder + c.names.back());
        makeTable(c.paths.back(), fields, rng);
    }
    std::printf("corpus: %d tables, %ld fields, in one folder\n", count, c.fields);
    return c;
}

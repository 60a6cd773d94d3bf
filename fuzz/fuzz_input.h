#pragma once
// The readers take file names: each input is written to a file in memory-backed /dev/shm (or the
// temp folder) under the extension the reader expects, with optional companion files.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <random>
#include <set>
#include <string>

namespace fuzz {

inline std::string folder()
{
    static const std::string dir = [] {
        namespace fs = std::filesystem;
        const std::string name = "zorvik-fuzz-" + std::to_string(std::random_device()());
        std::error_code ec;
        fs::path d = fs::path("/dev/shm") / name;
        if (!fs::is_directory(d.parent_path(), ec) || !fs::create_directory(d, ec)) {
            d = fs::temp_directory_path() / name;
            fs::create_directory(d, ec);
        }
        return d.string() + "/";
    }();
    return dir;
}

inline std::string put(const std::string &name, const uint8_t *data, size_t size)
{
    std::string path = folder() + name;
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}

inline void drop(const std::string &name) { std::remove((folder() + name).c_str()); }

// A table and its companion files from one input: when the first byte is odd, the last quarter
// of the rest becomes each companion file, else there are none. Returns the table's path, or
// an empty string for an empty input.
inline std::string putTable(const uint8_t *data, size_t size, const std::string &table,
                            std::initializer_list<const char *> companions)
{
    if (size < 1)
        return {};
    const bool with = data[0] & 1;
    ++data;
    --size;
    const size_t split = with ? size * 3 / 4 : size;
    std::string path = put(table, data, split);
    // A companion is removed only when an input before left it: fewer system calls per input.
    static std::set<std::string> left = {companions.begin(), companions.end()};
    for (const char *c : companions) {
        if (with) {
            put(c, data + split, size - split);
            left.insert(c);
        } else if (left.erase(c)) {
            drop(c);
        }
    }
    return path;
}

} // namespace fuzz

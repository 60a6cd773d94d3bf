// Every input a fuzzer ever crashed on, replayed through the same code the fuzz targets run.
#include "../../fuzz/harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

TEST(FuzzRegressions, EveryKeptInputIsHandled)
{
    const fs::path root = fs::path(ZORVIK_TESTS_DIR) / "fuzz-regressions";
    struct Target { const char *name; int (*run)(const uint8_t *, size_t); };
    const Target targets[] = {{"dbf", fuzz::dbf}, {"memo", fuzz::memo}, {"mdx", fuzz::mdx}, {"paradox", fuzz::paradox}};
    int replayed = 0;
    for (const Target &t : targets) {
        if (!fs::is_directory(root / t.name))
            continue;
        for (const auto &entry : fs::directory_iterator(root / t.name)) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
            SCOPED_TRACE(entry.path().string());
            EXPECT_EQ(t.run(bytes.data(), bytes.size()), 0);
            ++replayed;
        }
    }
    RecordProperty("replayed", replayed);
}

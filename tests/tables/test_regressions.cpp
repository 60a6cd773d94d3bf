// Every input a fuzzer ever crashed on, replayed through the same code the fuzz targets run.
// The engine run of the suite repeats this under AddressSanitizer and UndefinedBehaviorSanitizer,
// where a bad read or write stops the program; here an input passes when it neither crashes nor
// lets anything but the engine's own error out.
#include "../../fuzz/harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace fs = std::filesystem;

TEST(FuzzRegressions, EveryKeptInputIsHandled)
{
    const fs::path root = fs::path(ZORVIK_TESTS_DIR) / "fuzz-regressions";
    struct Target { const char *name; int (*run)(const uint8_t *, size_t); };
    const Target targets[] = {{"dbf", fuzz::dbf}, {"memo", fuzz::memo}, {"mdx", fuzz::mdx}, {"paradox", fuzz::paradox},
                               {"describe", fuzz::describe}};
    // The report file reader needs Qt: tools/fuzz.sh replays its inputs.
    const std::set<std::string> elsewhere = {"reportfile"};
    ASSERT_TRUE(fs::is_directory(root)) << root;
    // A folder named for no target would never be replayed.
    for (const auto &entry : fs::directory_iterator(root)) {
        const std::string name = entry.path().filename().string();
        bool known = elsewhere.count(name) > 0;
        for (const Target &t : targets)
            known = known || name == t.name;
        EXPECT_TRUE(known) << "inputs for no target: " << entry.path();
    }
    int replayed = 0;
    for (const Target &t : targets) {
        if (!fs::is_directory(root / t.name))
            continue;
        for (const auto &entry : fs::directory_iterator(root / t.name)) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
            ASSERT_TRUE(in.eof() || in.good()) << entry.path();
            SCOPED_TRACE(entry.path().string());
            EXPECT_NO_THROW(t.run(bytes.data(), bytes.size()));
            ++replayed;
        }
    }
    // An empty or misplaced folder must not pass as "every input handled".
    EXPECT_GT(replayed, 0) << "no kept input found under " << root;
    RecordProperty("replayed", replayed);
}

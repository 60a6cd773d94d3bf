// Memo files (.dbt of both kinds, .fpt): the first input byte picks the kind and the block asked for.
#include "fuzz_input.h"
#include "tables/error.h"
#include "tables/memofile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    auto kind = tables::MemoFile::Kind(data[0] % 3);
    uint64_t block = data[1];
    std::string path = fuzz::put("m.memo", data + 2, size - 2);
    try {
        tables::MemoFile m(path, kind);
        uint64_t total = 0;
        m.read(block, 1 << 16, &total);
        m.read(1, 100, &total);
    } catch (const tables::Error &) {
    }
    return 0;
}

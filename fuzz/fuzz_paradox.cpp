// Paradox tables and their .MB blob files: open, then decode every cell of the first records.
#include "fuzz_input.h"
#include "tables/error.h"
#include "tables/paradoxfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    bool blobs = data[0] & 1;
    ++data;
    --size;
    size_t split = blobs ? size * 3 / 4 : size;
    std::string path = fuzz::put("p.db", data, split);
    if (blobs)
        fuzz::put("p.mb", data + split, size - split);
    else
        fuzz::drop("p.mb");
    try {
        tables::ParadoxFile t(path);
        int64_t n = std::min<int64_t>(t.recordCount(), 64);
        for (int64_t r = 0; r < n; ++r)
            for (size_t f = 0; f < t.fields().size(); ++f)
                t.value(r, int(f));
        t.warning();
    } catch (const tables::Error &) {
    }
    return 0;
}

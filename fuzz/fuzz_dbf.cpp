// dBASE table header, field descriptors and records: open, then decode every cell of the first
// records, as the catalogue build and the grid do. The input's first byte chooses whether a memo
// file is made from the input's tail, so memo references are followed too.
#include "fuzz_input.h"
#include "tables/dbffile.h"
#include "tables/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    bool memo = data[0] & 1;
    ++data;
    --size;
    size_t split = memo ? size * 3 / 4 : size;
    std::string path = fuzz::put("t.dbf", data, split);
    if (memo) {
        fuzz::put("t.dbt", data + split, size - split);
        fuzz::put("t.fpt", data + split, size - split);
    } else {
        fuzz::drop("t.dbt");
        fuzz::drop("t.fpt");
    }
    try {
        tables::DbfFile t(path, false);
        int64_t n = std::min<int64_t>(t.recordCount(), 64);
        for (int64_t r = 0; r < n; ++r) {
            t.isDeleted(r);
            for (size_t f = 0; f < t.fields().size(); ++f) {
                t.value(r, int(f));
                t.fieldText(r, int(f));
            }
        }
        t.warning();
    } catch (const tables::Error &) {
    }
    return 0;
}

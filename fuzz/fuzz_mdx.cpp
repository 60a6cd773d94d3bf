// The production index reader: open, walk and seek every tag, then insert into a writable copy.
#include "fuzz_input.h"
#include "tables/error.h"
#include "tables/mdxindex.h"
#include "tables/numkey.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string path = fuzz::put("i.mdx", data, size);
    try {
        tables::MdxIndex mdx(path, true);
        for (int t = 0; t < mdx.tagCount(); ++t) {
            try {
                auto entries = mdx.walk(t);
                std::string key = entries.empty() ? std::string(size_t(mdx.tag(t).keyLength), '\0') : entries.front().first;
                mdx.seek(t, key);
                for (uint32_t r = 1; r <= 70; ++r)
                    mdx.insert(t, key, uint32_t(entries.size()) + r);
                mdx.walk(t);
            } catch (const tables::Error &) {
            }
        }
    } catch (const tables::Error &) {
    }
    return 0;
}

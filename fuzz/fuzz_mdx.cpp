// The production index reader: open, walk and seek every tag, then insert into a writable copy.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzz::mdx(data, size);
}

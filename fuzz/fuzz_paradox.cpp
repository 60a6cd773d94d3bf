// Paradox tables and their .MB blob files: open, then decode every cell of the first records.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzz::paradox(data, size);
}

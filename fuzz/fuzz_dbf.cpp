// dBASE table header, field descriptors and records (see fuzz::dbf in harness.h).
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzz::dbf(data, size);
}

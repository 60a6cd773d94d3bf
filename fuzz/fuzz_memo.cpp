// Memo files (.dbt of both kinds, .fpt): the first input byte picks the kind and the block asked for.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzz::memo(data, size);
}

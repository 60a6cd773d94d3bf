// The complete description of a table and its companion files, as --export makes it.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzz::describe(data, size);
}

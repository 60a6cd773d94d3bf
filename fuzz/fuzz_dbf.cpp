// dBASE table header, field descriptors and records: open, then decode every cell of the first
// records, as the catalogue build and the grid do. The input's first byte chooses whether a memo
// file is made from the input's tail, so memo references are followed too.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzz::dbf(data, size);
}

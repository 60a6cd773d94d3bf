#pragma once
// What an open table holds, counted through its reader: for checks that must not move the
// table's cursor.
#include "tables/recordsource.h"
#include "tables/table.h"

#include <cstdint>

namespace testutil {

// Records of an open table not marked deleted, rows still buffered included; 0 while closed.
// For a table that follows no master (or whose link is off) these are the rows its cursor walks.
inline int64_t liveRecords(const tables::Table &table)
{
    const tables::RecordSource *source = table.source();
    int64_t live = 0;
    for (int64_t r = 0; source && r < source->recordCount(); ++r)
        live += source->isDeleted(r) ? 0 : 1;
    return live;
}

} // namespace testutil

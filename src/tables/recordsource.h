#pragma once
// Read access to the records of an open table, as every reader (dBASE family, Paradox) offers it.
// Record numbers are 0-based physical positions. Readers read on demand (no whole-table load)
// and keep their memory bounded by a block cache.
#include "fielddef.h"
#include "value.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tables {

class RecordSource {
public:
    virtual ~RecordSource() = default;

    virtual const FieldDefs &fields() const = 0;
    // Records the file really holds (a header count beyond the data is not believed).
    virtual int64_t recordCount() const = 0;
    // dBASE deletion flag; readers without one answer false.
    virtual bool isDeleted(int64_t record) const = 0;
    // Decoded cell. Throws Error when the record area itself cannot be read.
    virtual Value value(int64_t record, int field) const = 0;
    // The same cell whole, for copying the data out: memo text not cut to the display limit,
    // and the bytes of binary, graphic and OLE values in `text` (Kind::Binary, `size` of them).
    virtual Value wholeValue(int64_t record, int field) const { return value(record, field); }
    // A text that says what was wrong with the file when it was opened but did not stop it
    // (a record area cut short, a missing memo file); empty when all is well.
    virtual std::string warning() const { return {}; }
};

// Opens a picked table for reading: ".dbf" the dBASE family, ".db" Paradox, anything else
// recognised by its header. A `codePage` other than 0 is used for the text instead of the one the
// table says. Throws Error with a message naming the file.
std::unique_ptr<RecordSource> openRecordSource(const std::string &path, TableType type, int codePage = 0);

} // namespace tables

#pragma once
// Generic field kinds, as every reader presents its native field types.
#include <cstdint>
#include <string>
#include <vector>

namespace tables {

// The code is the position in this list; it is stored and reported as a number.
enum FieldType : int {
    ftUnknown = 0, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency,
    ftBCD, ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo,
    ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor
};

enum TableType { ttDefault, ttDBase, ttParadox };

struct FieldDef {
    std::string name;        // UTF-8, decoded from the table's code page
    FieldType type = ftUnknown;
    int size = 0;            // the size presented with the type (width, decimals, blob leader, or 0)
    // Native description, used by the readers and the grid.
    char nativeType = 0;     // dBASE type letter, or the Paradox type byte
    int width = 0;           // bytes the field takes in a record
    int decimals = 0;
    int offset = 0;          // offset of the field inside a record
    bool nullable = false;   // Visual FoxPro: the field has a NULL bit
    bool binary = false;     // no code-page translation (VFP binary flag)
    int nullBit = -1;        // Visual FoxPro: bit in _NullFlags that says NULL
    int varLengthBit = -1;   // Visual FoxPro V/Q: bit that says "shorter than the width"
};

// An index definition: a tag on one column.
struct IndexDef {
    std::string name;        // tag name
    std::string fields;      // key expression (a column name)
};

using FieldDefs = std::vector<FieldDef>;

} // namespace tables

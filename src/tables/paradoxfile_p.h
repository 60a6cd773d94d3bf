#pragma once
// Internals of the Paradox reader, reachable by its tests.
#include "fielddef.h"
#include "value.h"

#include <cstdint>

namespace tables::paradox {

// Field type bytes of the field array in the header.
enum TypeCode : uint8_t {
    tcAlpha = 0x01, tcDate = 0x02, tcShort = 0x03, tcLong = 0x04, tcMoney = 0x05, tcNumber = 0x06,
    tcLogical = 0x09, tcMemo = 0x0C, tcBlob = 0x0D, tcFmtMemo = 0x0E, tcOle = 0x0F, tcGraphic = 0x10,
    tcTime = 0x14, tcTimestamp = 0x15, tcAutoInc = 0x16, tcBcd = 0x17, tcBytes = 0x18
};

// The BLOB kinds keep a leader and a pointer into the .mb file in the record.
bool isBlob(uint8_t code);

// Decodes a value held wholly in the record: every kind but the BLOB kinds. `bytes` holds
// field.width bytes; Alpha text is converted from `codePage` to UTF-8.
Value decodeStored(const FieldDef &field, const uint8_t *bytes, int codePage);

} // namespace tables::paradox

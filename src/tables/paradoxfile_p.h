#pragma once
// Internals of the Paradox reader, reachable by its tests.
#include "fielddef.h"
#include "value.h"

#include <cstddef>
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

// Table protection: a password-protected table keeps its header plain and stores its data
// blocks (and its .mb) scrambled in chunks of 256 bytes, by a fixed scheme whose only key is
// the header's password checksum. Undoing it needs no password.
constexpr int kScrambleChunk = 256;
// One chunk in place; a and b come from the key, c and d from where the chunk lies.
void unscrambleChunk(uint8_t *chunk, uint8_t a, uint8_t b, uint8_t c, uint8_t d);
// The first `size` bytes (whole chunks) of data block `blockNumber` (1-based), in place.
void unscrambleDataBlock(uint8_t *bytes, size_t size, uint32_t key, int blockNumber);
// Whole chunks of a .mb file, in place: every chunk the same way, wherever it lies.
void unscrambleBlobChunks(uint8_t *bytes, size_t size, uint32_t key);

} // namespace tables::paradox

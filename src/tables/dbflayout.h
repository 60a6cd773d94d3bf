#pragma once
// The dBASE table file on disk, as the reader and the writer both see it. All numbers are
// little-endian.
//
// Levels 3 to 5 (dBASE III+, IV, 5), FoxPro and Clipper: a 32-byte header, 32-byte field
// descriptors ended by 0x0D (Visual FoxPro: then a 263-byte backlink), then fixed-length
// records, each starting with a deletion flag (' ' live, '*' deleted), and 0x1A after the last.
// Level 7 (dBASE 7): a 68-byte header whose bytes 32-63 name the language driver, and 48-byte
// descriptors. dBASE II: an 8-byte header, 16-byte descriptors, records from byte 521.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tables::dbflayout {

// Header of levels 3 to 7.
constexpr size_t kVersion = 0;           // u8 version code (low 3 bits: level, 4 for level 7)
constexpr size_t kDate = 1;              // 3 bytes: date of last update, see putDateStamp
constexpr size_t kRecordCount = 4;       // u32
constexpr size_t kHeaderLength = 8;      // u16 bytes before the first record
constexpr size_t kRecordLength = 10;     // u16 bytes of one record, the deletion flag included
constexpr size_t kEncrypted = 15;        // u8 1: dBASE IV PROTECT has scrambled the records
constexpr size_t kProductionIndex = 28;  // u8 1: a production index (.mdx) goes with the table
constexpr size_t kLanguageDriver = 29;   // u8 language driver id
constexpr size_t kHeaderSize = 32;       // fixed part; the descriptors follow
constexpr size_t kDriverName = 32;       // level 7: NUL-padded language driver name
constexpr size_t kDriverNameSize = 32;
constexpr size_t kHeaderSize7 = 68;

// Field descriptor of levels 3 to 5.
constexpr size_t kFieldName = 0;         // NUL-padded, up to 10 characters
constexpr size_t kFieldNameSize = 11;
constexpr size_t kFieldType = 11;        // type letter
constexpr size_t kFieldLength = 16;      // u8 width (Clipper: low byte of a character width)
constexpr size_t kFieldDecimals = 17;    // u8 (Clipper: high byte of a character width)
constexpr size_t kFieldFlags = 18;       // Visual FoxPro: 1 system, 2 nullable, 4 binary
constexpr size_t kFieldIndexTag = 31;    // dBASE IV: 1 when the production index has a tag on it
constexpr size_t kDescriptorSize = 32;

// Field descriptor of level 7.
constexpr size_t kFieldName7 = 0;
constexpr size_t kFieldNameSize7 = 32;
constexpr size_t kFieldType7 = 32;
constexpr size_t kFieldLength7 = 33;
constexpr size_t kFieldDecimals7 = 34;
constexpr size_t kDescriptorSize7 = 48;

// dBASE II.
constexpr size_t kRecordCount2 = 1;      // u16
constexpr size_t kDate2 = 3;
constexpr size_t kRecordLength2 = 6;     // u16
constexpr size_t kDescriptors2 = 8;
constexpr size_t kFieldType2 = 11;
constexpr size_t kFieldLength2 = 12;     // u8
constexpr size_t kFieldDecimals2 = 15;   // u8
constexpr size_t kDescriptorSize2 = 16;
constexpr size_t kHeaderLength2 = 521;

constexpr uint8_t kEndOfFields = 0x0D;
constexpr uint8_t kEndOfFile = 0x1A;
constexpr char kLive = ' ';
constexpr char kDeleted = '*';

// Writes today's date in the header's stamp form: year - 1900, month, day (3 bytes). The table
// header and the production index header carry the same stamp.
void putDateStamp(uint8_t *p);

// A date field holds eight digits, YYYYMMDD. Sets the numbers they stand for (not checked as a
// calendar date: writers stored whatever they were given); false when the text is not eight digits.
struct DateDigits {
    int year = 0, month = 0, day = 0;
};
inline bool dateDigits(std::string_view text, DateDigits &out)
{
    if (text.size() != 8)
        return false;
    int n[8];
    for (size_t i = 0; i < 8; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        n[i] = text[i] - '0';
    }
    out.year = n[0] * 1000 + n[1] * 100 + n[2] * 10 + n[3];
    out.month = n[4] * 10 + n[5];
    out.day = n[6] * 10 + n[7];
    return true;
}

} // namespace tables::dbflayout

// Value decoding of the dBASE family, one function per family of field kinds: the text-stored
// kinds every dBASE, Clipper and FoxPro table has, memo references, the binary kinds of
// Visual FoxPro, those of dBASE 7, and those Harbour adds to level-3 tables.
#include "dbffile.h"

#include "bytes.h"
#include "dbffile_p.h"
#include "dbflayout.h"
#include "error.h"
#include "memofile.h"

#include <algorithm>
#include <cstdint>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

namespace tables {

using dbftext::allBytes;
using dbftext::trim;
using dbftext::trimRight;

namespace {

constexpr size_t kMemoLimit = 64 * 1024;    // memo text kept for display

// Day number (1 = 0001-01-01) of a proleptic Gregorian date; 0 when the date is impossible.
int64_t dayNumber(int y, int m, int d)
{
    static const int mdays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1)
        return 0;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > mdays[m - 1] + (m == 2 && leap ? 1 : 0))
        return 0;
    int64_t yy = y - 1;
    int64_t days = yy * 365 + yy / 4 - yy / 100 + yy / 400;
    for (int i = 1; i < m; ++i)
        days += mdays[i - 1] + (i == 2 && leap ? 1 : 0);
    return days + d;
}

// Big-endian integer with the sign bit flipped (dBASE 7 I and +).
int64_t flippedBe32(const uint8_t *p)
{
    return int64_t(int32_t(bytes::be32(p) ^ 0x80000000u));
}

// Big-endian double stored so that bytes sort: positives have the sign bit set, negatives
// are all inverted (dBASE 7 O).
double sortableDouble(const uint8_t *p)
{
    uint64_t bits = bytes::be64(p);
    if (bits & 0x8000000000000000ull)
        bits &= ~0x8000000000000000ull;
    else
        bits = ~bits;
    return bytes::doubleFromBits(bits);
}

const uint8_t *bytesOf(std::string_view raw) { return reinterpret_cast<const uint8_t *>(raw.data()); }

bool isMemoKind(const FieldDef &f, bool foxPro)
{
    return std::strchr("MGPW", f.nativeType) || (f.nativeType == 'B' && !foxPro);
}

} // namespace

Value DbfFile::valueOf(int64_t record, int field, bool whole) const
{
    const FieldDef &f = fields_.at(size_t(field));
    const uint8_t *r = recordPtr(record);
    std::string_view raw(reinterpret_cast<const char *>(r + f.offset), size_t(f.width));
    if (f.nullable && nullFlag(r, f.nullBit))
        return Value::null();

    Value v;
    if (f.nativeType && isMemoKind(f, foxPro_))
        return memoValue(f, raw, whole);
    if (textKindValue(f, raw, v) || (!level7_ && harbourValue(f, raw, v)) || foxProValue(f, r, v) ||
        level7Value(f, raw, v))
        return v;
    // A kind nobody here knows: its text as stored, or its bytes in hex where they are not text.
    std::string_view t = trimRight(raw);
    if (t.empty())
        return Value::null();
    if (std::any_of(t.begin(), t.end(), [](char c) { return uint8_t(c) < 0x20 || c == 0x7F; }))
        return Value::ofText(bytes::hexBytes(t));
    return Value::ofText(decodeText(t));
}

bool DbfFile::nullFlag(const uint8_t *record, int bit) const
{
    if (bit < 0 || nullFlagsOffset_ < 0 || bit / 8 >= nullFlagsWidth_)
        return false;
    return (record[nullFlagsOffset_ + bit / 8] >> (bit % 8) & 1) != 0;
}

// C, N, F, D, L: stored as text.
bool DbfFile::textKindValue(const FieldDef &f, std::string_view raw, Value &v) const
{
    switch (f.nativeType) {
    case 'C': {
        // The VFP binary flag (NOCPTRANS) only means "never translated": still text.
        std::string_view t = trimRight(raw);
        v = t.empty() ? Value::null() : Value::ofText(decodeText(t));
        return true;
    }
    case 'N': case 'F': {
        std::string_view t = trim(raw);
        if (t.empty()) {
            v = Value::null();
            return true;
        }
        double d = 0;
        auto res = std::from_chars(t.data(), t.data() + t.size(), d);
        if (res.ec != std::errc() || res.ptr != t.data() + t.size())
            v = Value::ofText(std::string(t));
        else
            v = Value::ofNumber(d, f.decimals);
        return true;
    }
    case 'D': {
        std::string_view t = trim(raw);
        if (t.empty() || allBytes(t, '0')) {
            v = Value::null();
            return true;
        }
        dbflayout::DateDigits date;
        if (!dbflayout::dateDigits(t, date)) {
            v = Value::ofText(std::string(t));
            return true;
        }
        int64_t day = dayNumber(date.year, date.month, date.day);
        if (day == 0) {
            v = Value::ofText(std::string(t));
            return true;
        }
        v.kind = Value::Kind::Date;
        v.integer = day;
        return true;
    }
    case 'L': {
        char c = raw.empty() ? ' ' : raw[0];
        v = Value::null();
        if (std::strchr("TtYy", c) && c) { v.kind = Value::Kind::Boolean; v.integer = 1; }
        if (std::strchr("FfNn", c) && c) { v.kind = Value::Kind::Boolean; v.integer = 0; }
        return true;
    }
    default:
        return false;
    }
}

// M, G, P, W and dBASE's B: a block number, as ten digits or (Visual FoxPro) a u32, into the
// memo file. `whole`: memo text not cut to the display limit, binary values with their bytes.
Value DbfFile::memoValue(const FieldDef &f, std::string_view raw, bool whole) const
{
    Value v;
    uint64_t block = 0;
    if (f.width == 4) {
        block = bytes::le32(bytesOf(raw));
    } else {
        std::string t(trim(raw));
        if (t.empty())
            return Value::null();
        for (char c : t) {
            if (!std::isdigit(static_cast<unsigned char>(c))) {
                v.kind = Value::Kind::Missing;
                v.text = "повреждена ссылка на примечание: «" + t + "»";
                return v;
            }
            block = block * 10 + uint64_t(c - '0');
            if (block > (1ull << 40))
                break;
        }
    }
    if (block == 0)
        return Value::null();
    MemoFile *m = memo();
    if (!m) {
        v.kind = Value::Kind::Missing;
        v.text = memoError_;
        return v;
    }
    bool text = f.nativeType == 'M' && !f.binary;
    try {
        uint64_t total = 0;
        const size_t limit = whole ? SIZE_MAX : text ? kMemoLimit : 0;
        std::string data = m->read(block, limit, &total);
        if (total == 0)
            return Value::null(); // an empty memo
        if (text) {
            v.kind = Value::Kind::Memo;
            v.text = decodeText(data);
            v.size = int64_t(total);
        } else {
            v.kind = Value::Kind::Binary;
            v.size = int64_t(total);
            if (whole)
                v.text = std::move(data);
        }
    } catch (const Error &e) {
        v.kind = Value::Kind::Missing;
        v.text = std::string("примечание не читается: ") + e.what();
    }
    return v;
}

// Visual FoxPro: V, Q (with _NullFlags), B double, Y currency, T date-time, I integer.
bool DbfFile::foxProValue(const FieldDef &f, const uint8_t *record, Value &v) const
{
    const uint8_t *p = record + f.offset;
    std::string_view raw(reinterpret_cast<const char *>(p), size_t(f.width));
    switch (f.nativeType) {
    case 'V': case 'Q': {
        size_t len = raw.size();
        if (nullFlag(record, f.varLengthBit) && !raw.empty())
            len = std::min<size_t>(uint8_t(raw.back()), raw.size() - 1);
        std::string_view data = raw.substr(0, len);
        if (f.nativeType == 'Q') {
            v.kind = Value::Kind::Binary;
            v.size = int64_t(len);
            v.text = std::string(data);
            return true;
        }
        std::string_view t = trimRight(data);
        v = t.empty() ? Value::null() : Value::ofText(decodeText(t));
        return true;
    }
    case 'B':
        v = f.width == 8 ? Value::ofNumber(bytes::doubleFromBits(bytes::le64(p)), -1) : Value::null();
        return true;
    case 'Y':
        if (f.width != 8) {
            v = Value::null();
            return true;
        }
        v.kind = Value::Kind::Currency;
        v.number = double(int64_t(bytes::le64(p))) / 10000.0;
        v.decimals = 4;
        return true;
    case 'T': {
        if (f.width != 8 || allBytes(raw, '\0') || allBytes(raw, ' ')) {
            v = Value::null();
            return true;
        }
        // u32 Julian day number, u32 milliseconds since midnight. Visual FoxPro keeps whole
        // seconds but writes the milliseconds with rounding noise (61984999 for 17:13:05).
        int64_t jdn = bytes::le32(p);
        int64_t ms = bytes::le32(p + 4);
        if (jdn <= kJulianDayOfDayZero || ms > kDayMs) {
            v = Value::null();
            return true;
        }
        ms = (ms + 500) / 1000 * 1000;
        if (ms == kDayMs) {
            ++jdn;
            ms = 0;
        }
        v.kind = Value::Kind::DateTime;
        v.integer = jdn - kJulianDayOfDayZero;
        v.ms = ms;
        return true;
    }
    case 'I': case '+':
        if (level7_)
            return false;
        v = f.width == 4 ? Value::ofInteger(int32_t(bytes::le32(p))) : Value::null();
        return true;
    default:
        return false;
    }
}

// Harbour's kinds in tables of levels 3 to 5, all little-endian: @ time stamp and = modification
// time (u32 Julian day number, u32 milliseconds since midnight), ^ row version (64-bit), + counter
// (32-bit), 2 and 4 integers of that many bytes, 8 a double.
bool DbfFile::harbourValue(const FieldDef &f, std::string_view raw, Value &v) const
{
    const uint8_t *p = bytesOf(raw);
    const size_t width = raw.size();
    switch (f.nativeType) {
    case '@': case '=': {
        v = Value::null();
        if (width != 8)
            return true;
        const int64_t jdn = bytes::le32(p);
        const int64_t ms = bytes::le32(p + 4);
        if (jdn <= kJulianDayOfDayZero || ms >= kDayMs)
            return true;
        v.kind = Value::Kind::DateTime;
        v.integer = jdn - kJulianDayOfDayZero;
        v.ms = ms;
        return true;
    }
    case '^':
        v = width == 8 ? Value::ofInteger(int64_t(bytes::le64(p))) : Value::null();
        return true;
    case '+': case '4':
        v = width == 4 ? Value::ofInteger(int32_t(bytes::le32(p))) : Value::null();
        return true;
    case '2':
        v = width == 2 ? Value::ofInteger(int16_t(bytes::le16(p))) : Value::null();
        return true;
    case '8':
        v = width == 8 ? Value::ofNumber(bytes::doubleFromBits(bytes::le64(p)), -1) : Value::null();
        return true;
    default:
        return false;
    }
}

// dBASE 7: I and + big-endian with the sign bit flipped, O a sortable double, @ a time stamp.
bool DbfFile::level7Value(const FieldDef &f, std::string_view raw, Value &v) const
{
    const uint8_t *p = bytesOf(raw);
    switch (f.nativeType) {
    case 'I': case '+':
        if (f.width != 4 || allBytes(raw, '\0'))
            v = Value::null();
        else
            v = Value::ofInteger(flippedBe32(p));
        return true;
    case 'O':
        if (f.width != 8 || allBytes(raw, '\0'))
            v = Value::null();
        else
            v = Value::ofNumber(sortableDouble(p), -1);
        return true;
    case '@': {
        v = Value::null();
        if (f.width != 8 || allBytes(raw, '\0'))
            return true;
        // Milliseconds as a big-endian double, day 1 = 0001-01-01 (the BDE time stamp). Some
        // writers store it in the sortable form of O (sign bit set for positive values);
        // a time stamp is never negative, so a set sign bit can only mean that form.
        double msTotal = bytes::doubleFromBits(bytes::be64(p));
        if (std::signbit(msTotal))
            msTotal = -msTotal;
        if (!(msTotal >= double(kDayMs)) || msTotal >= double(kDayMs) * 3652060.0)
            return true; // before 0001-01-01 or after 9999-12-31
        int64_t total = int64_t(std::llround(msTotal));
        v.kind = Value::Kind::DateTime;
        v.integer = total / kDayMs;
        v.ms = total % kDayMs;
        return true;
    }
    default:
        return false;
    }
}

} // namespace tables

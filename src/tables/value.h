#pragma once
// One cell of a record, decoded from its stored bytes.
#include <cstdint>
#include <string>

namespace tables {

// Day numbers count from 1 = 0001-01-01 in the proleptic Gregorian calendar. A Julian day number
// is the day number plus kJulianDayOfDayZero; a day has kDayMs milliseconds.
constexpr int64_t kJulianDayOfDayZero = 1721425;
constexpr int64_t kDayMs = 86400000;

struct Value {
    enum class Kind {
        Null,      // empty value
        Text,      // text: UTF-8 in `text` (also memo text and BCD digits)
        Integer,   // `integer`
        Number,    // `number`, shown with `decimals` decimals (-1: as stored, shortest form)
        Currency,  // `number`, money
        Boolean,   // `integer` 0/1
        Date,      // `integer` = day number, 1 = 0001-01-01 (proleptic Gregorian)
        Time,      // `integer` = milliseconds since midnight
        DateTime,  // `integer` = day number, `ms` = milliseconds since midnight
        Binary,    // binary, graphic or OLE data of `size` bytes (contents not decoded)
        Memo,      // memo text in `text`
        Missing    // the value cannot be read (memo file missing or damaged): `text` says why
    };
    Kind kind = Kind::Null;
    std::string text;
    int64_t integer = 0;
    int64_t ms = 0;
    double number = 0;
    int decimals = -1;
    int64_t size = 0;

    static Value null() { return {}; }
    static Value ofText(std::string s, Kind k = Kind::Text) { Value v; v.kind = k; v.text = std::move(s); return v; }
    static Value ofInteger(int64_t i) { Value v; v.kind = Kind::Integer; v.integer = i; return v; }
    static Value ofNumber(double d, int dec = -1) { Value v; v.kind = Kind::Number; v.number = d; v.decimals = dec; return v; }
};

} // namespace tables

#include "indexkey.h"

#include "dbflayout.h"
#include "file.h"
#include "numkey.h"
#include "value.h"

#include <algorithm>
#include <cstring>

namespace tables::indexkey {

MdxIndex::TagSpec tagFor(const IndexDef &def, const FieldDef *column)
{
    MdxIndex::TagSpec s;
    s.name = def.name;
    s.expression = def.fields;
    const char kind = column ? column->nativeType : 'N';
    s.keyType = kind == 'C' ? 'C' : (kind == 'D' ? 'D' : 'N');
    s.keyLength = s.keyType == 'C' ? column->width : (s.keyType == 'D' ? 8 : 12);
    return s;
}

std::string keyOf(const MdxIndex::TagSpec &tag, std::string_view text)
{
    switch (tag.keyType) {
    case 'N': return numericKey(text);
    case 'D': return dateKey(text);
    default: return characterKey(text, tag.keyLength);
    }
}

std::string characterKey(std::string_view text, int length)
{
    std::string k(text.substr(0, size_t(std::max(length, 0))));
    k.resize(size_t(std::max(length, 0)), ' ');
    return k;
}

std::string numericKey(std::string_view text)
{
    numkey::Key k = numkey::fromText(text);
    return std::string(reinterpret_cast<const char *>(k.data()), k.size());
}

std::string dateKey(std::string_view raw)
{
    double jdn = 1.0e100;
    dbflayout::DateDigits date;
    if (dbflayout::dateDigits(raw, date)) {
        const int y = date.year, m = date.month, d = date.day;
        // Days from 1970-01-01 by the civil-from-days inverse (any month and day numbers the
        // writer stored), then the Julian day number.
        int64_t yy = m <= 2 ? y - 1 : y;
        int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
        int64_t yoe = yy - era * 400;
        int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        int64_t days1970 = era * 146097 + doe - 719468;
        jdn = double(days1970 + 719163 + kJulianDayOfDayZero);
    }
    uint64_t bits;
    std::memcpy(&bits, &jdn, 8);
    std::string k(8, '\0');
    for (int i = 0; i < 8; ++i)
        k[size_t(i)] = char(bits >> (8 * i));
    return k;
}

} // namespace tables::indexkey

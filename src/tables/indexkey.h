#pragma once
// The keys a dBASE IV production index holds, and the rule that makes a tag from a column.
// Every place that builds a key (keeping the index up to date, checking and rebuilding it,
// seeking for the master-detail link) goes through here.
//   character  the column's bytes, blank-padded to the tag's key length
//   numeric    12 bytes of packed decimal (numkey.h)
//   date       the Julian day number as a little-endian double; a blank date sorts last
#include "fielddef.h"
#include "mdxindex.h"

#include <string>
#include <string_view>

namespace tables::indexkey {

// The tag kept on `column`: a character column gives a character key of its width, a date
// column a date key, every other kind (and a column the table does not have, null) a numeric key.
MdxIndex::TagSpec tagFor(const IndexDef &def, const FieldDef *column);

// The key of a value given as the column's stored bytes, or as the text the table shows for it
// (character text without its trailing blanks, numbers as digits, dates as YYYYMMDD): the two
// give the same key.
std::string keyOf(const MdxIndex::TagSpec &tag, std::string_view text);

std::string characterKey(std::string_view text, int length);
std::string numericKey(std::string_view text);
std::string dateKey(std::string_view yyyymmdd);

} // namespace tables::indexkey

#pragma once
// dBASE IV index keys for numeric (N and F) fields: 12 bytes of packed decimal.
//   byte 0   0x34 + e, e = digits before the point of the normalised number
//            (for 0 < |x| < 1: minus the zeros right after the point)
//   byte 1   bit 7 sign (1 = negative), bits 6..2 digit count, bits 1..0 always 01
//   2..11    significant digits, two per byte, first digit in the high nibble
// Zero is 34 01 followed by zeros. Writers disagree on the digit count in byte 1; we write it as
// the number printed without trailing fractional zeros has digits (10 -> 2, 0.05 -> 2), and never
// look at it when reading: keys compare by sign, exponent and digits.
#include <array>
#include <cstdint>
#include <string_view>

namespace tables::numkey {

using Key = std::array<uint8_t, 12>;

// The key of a numeric field's text ("   10", "-1.50", blanks = zero). Digits beyond 20 are cut.
Key fromText(std::string_view text);
// -1, 0, 1 as a < b, a == b, a > b in numeric order.
int compare(const Key &a, const Key &b);

} // namespace tables::numkey

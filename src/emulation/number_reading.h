#pragma once

#include <string_view>

namespace korvanteslin {

// How every typed or displayed text becomes a number: each "," counts as ".",
// blanks are ignored wherever they stand, and the leading number is taken
// (sign, digits, a "." with digits, an exponent); reading stops at the first
// other character, and a text without a leading number reads as 0. The result
// is always finite: a value beyond the range of a double reads as the largest
// double of its sign, one too small to represent as 0.
double readNumber(std::string_view text);

// The largest whole number not above `value`, held within the 16-bit range.
short floorToInt16(double value);

} // namespace korvanteslin

#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace korvanteslin {

// How every typed or displayed text becomes a number: each "," counts as ".",
// blanks are ignored wherever they stand, and the leading number is taken
// (sign, digits, a "." with digits, an exponent); reading stops at the first
// other character, and a text without a leading number reads as 0. The result
// is always finite: a value beyond the range of a double reads as the largest
// double of its sign, one too small to represent as 0.
double readNumber(std::string_view text);

// Whether a "," is read as the decimal point or, like any other character
// that is not part of a number, ends the number ("12,5" reads as 12).
enum class CommaIsPoint { Yes, No };

// The same reading, with the "," treated as asked.
double readNumber(std::string_view text, CommaIsPoint comma);

// The largest whole number not above `value`, held within the 16-bit range.
short floorToInt16(double value);

// The largest whole number not above `value`, or nothing when that does not
// fit a 32-bit signed integer.
std::optional<std::int32_t> floorToInt32(double value);

} // namespace korvanteslin

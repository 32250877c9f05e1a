#pragma once
// The BASIC-style number and pattern rules the suite's texts follow everywhere.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace common {

// The number a text begins with: leading blanks (spaces, tabs, line feeds) skipped, an optional sign,
// digits with at most one decimal point and an optional exponent; reading stops at the first character
// that cannot continue the number. A text without a leading number gives 0.
double leadingNumber(std::string_view text);

// Rounding to the nearest integer with halves going to the even neighbour; empty when the result does
// not fit (the statement that asked for it then fails, as an overflow would).
std::optional<int16_t> roundToInt16(double value);
std::optional<int32_t> roundToInt32(double value);
// The leading number of a text rounded into a 32-bit integer, 0 when it does not fit.
int32_t leadingInt32(std::string_view text);

// Pattern match with '*' (any run), '?' (any one character), '#' (one digit), bracket lists "[a-z]",
// "[!0-9]"; letters compare without regard to case. A malformed bracket list matches nothing.
bool like(std::string_view text, std::string_view pattern);

// Decimal with at least `width` digits, zero-padded ("00" formatting for width 2); the sign goes first.
std::string zeroPadded(long long value, int width);
inline std::string twoDigits(long long value) { return zeroPadded(value, 2); }

// Upper-case hexadecimal without leading zeros; negative values as their 32-bit two's complement.
std::string hexText(int32_t value);
// "0x" and six hexadecimal digits, blue first, then green, then red, as colours are written.
std::string colourText(uint32_t bgr);
// Reads a hexadecimal text with or without a "0x" or "&H" lead-in; empty when it holds no hex digit
// or does not fit 32 bits.
std::optional<uint32_t> parseHex(std::string_view text);

}  // namespace common

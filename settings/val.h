#pragma once
// Reading the number at the start of a text the way the platform's Val does,
// and bringing it to a 32-bit count.
#include <cstdint>
#include <string_view>

namespace corvanta {

// Blanks, tabs and line feeds are skipped wherever they stand; then an
// optional sign, digits with at most one decimal point and an exponent (E or
// D), or "&H" / "&O" with hexadecimal / octal digits (a value that fits
// 16 bits is read as a signed 16-bit number, a larger one as a signed 32-bit
// one, unless a "&" follows). Reading stops at the first character that cannot continue the
// number; no number at all gives 0.
double Val(std::string_view text);

// The nearest 32-bit integer, halves to the even neighbour. A value beyond
// the 32-bit range gives the nearest end of the range instead of an error.
std::int32_t RoundToLong(double value);

}  // namespace corvanta

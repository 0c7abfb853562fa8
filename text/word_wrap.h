#pragma once
#include <cstdint>
#include <string>

namespace corvanta::modWordWrap {

// Breaks text into lines of at most width characters (UTF-16 units, a
// character never cut in two) at blanks, in one pass;
// CR LF breaks restart the count; width below 1 returns the text.
std::string WordWrap(const std::string& text, std::int32_t width);

}  // namespace corvanta::modWordWrap

#pragma once
// Text as PostgreSQL takes it: valid UTF-8 without NUL (it refuses both),
// and arrays written as literals for one-statement batches.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mailwarden::store {

// Invalid UTF-8 sequences become U+FFFD, NUL characters are left out.
std::string ValidText(std::string_view text);

// An array literal ({"a","b"}) of the texts, each made valid text.
std::string TextArray(const std::vector<std::string>& texts);
std::string NumberArray(const std::vector<std::int64_t>& numbers);

}  // namespace mailwarden::store

#pragma once
// Query strings and form bodies as the add-in writes them: every value passed
// through UrlEscape, so anything but a letter or digit arrives as "%XX".
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mailwarden {

struct Form {
  // "key=value" pieces, decoded byte by byte.
  std::map<std::string, std::string> fields;
  // The same values as they came, still escaped (for the sender's code page).
  std::map<std::string, std::string> raw;
  // Pieces without "=": the recipients' links carry the stamp as a bare token.
  std::vector<std::string> tokens;

  // The field's value; throws BadRequest("Missing field <key>.") when absent.
  const std::string& Required(const std::string& key) const;
  std::optional<std::string> Optional(const std::string& key) const;
};

// The value of a hexadecimal digit (either case); -1 for any other character.
int HexDigitValue(char c);

// Decodes "%XX" (two hexadecimal digits, either case). "+" stays a plus sign:
// the add-in escapes spaces as "%20" and never sends "+". Nothing on a broken escape.
std::optional<std::string> PercentDecode(std::string_view text);

// Splits at "&" (empty pieces are skipped) and decodes each piece. Throws
// BadRequest on a broken escape or a key given twice.
Form ParseForm(std::string_view text);

// What follows the first "?" of a request target, or nothing.
std::string_view QueryOf(std::string_view target);

}  // namespace mailwarden

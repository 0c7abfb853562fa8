#pragma once
#include <string>
#include <string_view>

namespace mailwarden {

// Escapes &, <, >, " and ' so text is safe in an element or a quoted attribute.
std::string HtmlEscape(std::string_view text);

}  // namespace mailwarden

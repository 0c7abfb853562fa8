#include "text/html_escape.h"

namespace corvanta::text {

std::string HtmlEscape(const std::string& plain) {
  std::string out;
  out.reserve(plain.size() + plain.size() / 16);
  std::size_t from = 0;
  while (true) {
    const std::size_t at = plain.find_first_of("&<>", from);
    if (at == std::string::npos) break;
    out.append(plain, from, at - from);
    out += plain[at] == '&' ? "&amp;" : plain[at] == '<' ? "&lt;" : "&gt;";
    from = at + 1;
  }
  out.append(plain, from, std::string::npos);
  return out;
}

}  // namespace corvanta::text

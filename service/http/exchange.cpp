#include "service/http/exchange.h"

#include <string_view>

namespace mailwarden::http {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

const std::string& Request::Header(std::string_view name) const {
  static const std::string kNone;
  for (const auto& [key, value] : headers) {
    if (SameName(key, name)) return value;
  }
  return kNone;
}

}  // namespace mailwarden::http

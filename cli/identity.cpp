#include "cli/identity.h"

#include <algorithm>

namespace cli {

namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool PlausibleAddress(const std::string& address) {
  return !address.empty() && address.find_first_of(" \t<>\r\n") == std::string::npos;
}

}  // namespace

std::optional<Person> ParsePerson(const std::string& text) {
  const std::string trimmed = Trim(text);
  const auto open = trimmed.rfind('<');
  if (open == std::string::npos) {
    if (!PlausibleAddress(trimmed)) return std::nullopt;
    return Person{trimmed, trimmed};
  }
  if (trimmed.back() != '>') return std::nullopt;
  std::string address = Trim(trimmed.substr(open + 1, trimmed.size() - open - 2));
  std::string name = Trim(trimmed.substr(0, open));
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
  if (!PlausibleAddress(address)) return std::nullopt;
  if (name.empty()) name = address;
  return Person{name, address};
}

}  // namespace cli

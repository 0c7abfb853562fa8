#include "sending/own_copies.h"

#include <algorithm>

namespace corvanta::sending {

namespace {

// An attribute's address as a program that writes the HTML again may give
// it back: with each "&" as "&amp;".
std::string AmpersandsEscaped(const std::string& address) {
  std::string out;
  for (char c : address) out += c == '&' ? std::string("&amp;") : std::string(1, c);
  return out;
}

// Marks every quoted occurrence of address; whether there was one.
bool MarkQuoted(std::string& html, const std::string& address, const std::string& field) {
  const std::string quoted = address + "\"";
  bool found = false;
  for (auto at = html.find(quoted); at != std::string::npos;
       at = html.find(quoted, at + quoted.size() + field.size())) {
    html.insert(at + address.size(), field);
    found = true;
  }
  return found;
}

}  // namespace

std::string InsertAddress(const std::string& head, const std::string& stamp) {
  const auto quote = head.rfind('"');
  if (quote == std::string::npos || quote + 1 == head.size()) return {};
  return head.substr(quote + 1) + stamp;
}

void OwnCopies::Expect(const std::string& address) {
  if (address.empty()) return;
  expected_.push_back(address);
  if (expected_.size() > kMaxExpected) expected_.pop_front();
}

std::optional<std::string> OwnCopies::Mark(const std::string& html) {
  for (auto address = expected_.begin(); address != expected_.end(); ++address) {
    std::string marked = html;
    const bool plain = MarkQuoted(marked, *address, kOwnField);
    const bool escaped = MarkQuoted(marked, AmpersandsEscaped(*address), AmpersandsEscaped(kOwnField));
    if (!plain && !escaped) continue;
    expected_.erase(address);
    return marked;
  }
  return std::nullopt;
}

}  // namespace corvanta::sending

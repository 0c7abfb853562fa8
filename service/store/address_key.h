#pragma once
// Addresses compare case-insensitively: both engines keep them in this form.
#include <string>
#include <string_view>

namespace mailwarden::store {

// ASCII letters lowered; other bytes (UTF-8 included) as they are.
inline std::string AddressKey(std::string_view address) {
  std::string key(address);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

}  // namespace mailwarden::store

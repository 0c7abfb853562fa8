#include "support/check.h"

#include <cstdio>

namespace fuzz {

void Fail(const char* property, const std::string& detail) {
  std::fprintf(stderr, "\n*** property failed: %s\n", property);
  if (!detail.empty()) std::fprintf(stderr, "*** %s\n", detail.c_str());
  std::fflush(stderr);
  __builtin_trap();
}

std::vector<std::string> Pieces(std::string_view input, char separator, std::size_t count) {
  std::vector<std::string> pieces;
  while (pieces.size() + 1 < count) {
    const std::size_t at = input.find(separator);
    if (at == std::string_view::npos) break;
    pieces.emplace_back(input.substr(0, at));
    input.remove_prefix(at + 1);
  }
  pieces.emplace_back(input);
  pieces.resize(count);
  return pieces;
}

std::string Shown(std::string_view bytes) {
  constexpr std::size_t kLongest = 300;
  std::string out;
  for (std::size_t i = 0; i < bytes.size() && i < kLongest; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      out += static_cast<char>(byte);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    }
  }
  if (bytes.size() > kLongest) out += "... (" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

}  // namespace fuzz

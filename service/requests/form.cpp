#include "service/requests/form.h"

#include "service/requests/bad_request.h"

namespace mailwarden {
namespace {

std::string DecodeOrThrow(std::string_view text, std::string_view key) {
  auto decoded = PercentDecode(text);
  if (!decoded) throw BadRequest(key.empty() ? "Malformed request." : "Malformed field " + std::string(key) + ".");
  return *decoded;
}

}  // namespace

const std::string& Form::Required(const std::string& key) const {
  auto found = fields.find(key);
  if (found == fields.end()) throw BadRequest("Missing field " + key + ".");
  return found->second;
}

std::optional<std::string> Form::Optional(const std::string& key) const {
  auto found = fields.find(key);
  if (found == fields.end()) return std::nullopt;
  return found->second;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int high = HexDigitValue(text[i + 1]);
    int low = HexDigitValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

Form ParseForm(std::string_view text) {
  Form form;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('&', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view piece = text.substr(start, end - start);
    start = end + 1;
    if (piece.empty()) continue;
    std::size_t equals = piece.find('=');
    if (equals == std::string_view::npos) {
      form.tokens.push_back(DecodeOrThrow(piece, ""));
      continue;
    }
    std::string key = DecodeOrThrow(piece.substr(0, equals), "");
    std::string value = DecodeOrThrow(piece.substr(equals + 1), key);
    if (!form.fields.emplace(key, std::move(value)).second) throw BadRequest("Repeated field " + key + ".");
    form.raw.emplace(key, piece.substr(equals + 1));
  }
  return form;
}

std::string_view QueryOf(std::string_view target) {
  std::size_t mark = target.find('?');
  if (mark == std::string_view::npos) return {};
  return target.substr(mark + 1);
}

}  // namespace mailwarden

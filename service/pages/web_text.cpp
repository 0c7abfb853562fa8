#include "service/pages/web_text.h"

#include <strings.h>

#include <cctype>
#include <charconv>

#include "service/requests/form.h"
#include "service/time_text.h"

namespace mailwarden::pages {

namespace {

std::string DecodeField(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 && HexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::map<std::string, std::string> ParseFields(std::string_view text) {
  std::map<std::string, std::string> fields;
  while (!text.empty()) {
    const auto end = text.find('&');
    const std::string_view piece = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (piece.empty()) continue;
    const auto eq = piece.find('=');
    const std::string key = DecodeField(piece.substr(0, eq));
    const std::string value = eq == std::string_view::npos ? std::string() : DecodeField(piece.substr(eq + 1));
    fields.emplace(key, value);
  }
  return fields;
}

std::string QueryEscape(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::map<std::string, std::string> ParseCookies(const http::Request& request) {
  std::map<std::string, std::string> cookies;
  for (const auto& [name, value] : request.headers) {
    if (name.size() != 6 || strncasecmp(name.c_str(), "cookie", 6) != 0) continue;
    std::string_view rest = value;
    while (!rest.empty()) {
      const auto end = rest.find(';');
      const std::string_view piece = Trim(rest.substr(0, end));
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
      const auto eq = piece.find('=');
      if (eq == std::string_view::npos) continue;
      cookies.emplace(std::string(Trim(piece.substr(0, eq))), std::string(Trim(piece.substr(eq + 1))));
    }
  }
  return cookies;
}

std::string IsoTime(store::Time time) {
  return FormatUtc(time, "%Y-%m-%dT%H:%M:%SZ");
}

std::string ShownTime(store::Time time) {
  return FormatUtc(time, "%Y-%m-%d %H:%M UTC");
}

std::string TimeElement(store::Time time) {
  return "<time datetime=\"" + IsoTime(time) + "\">" + ShownTime(time) + "</time>";
}

std::string FieldOf(const std::map<std::string, std::string>& fields, const std::string& name) {
  const auto found = fields.find(name);
  return found == fields.end() ? std::string() : found->second;
}

std::int64_t ParseId(std::string_view text) {
  std::int64_t id = 0;
  if (text.empty() || text.size() > 18) return 0;
  for (char c : text)
    if (c < '0' || c > '9') return 0;
  std::from_chars(text.data(), text.data() + text.size(), id);
  return id;
}

}  // namespace mailwarden::pages

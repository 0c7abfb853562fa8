#include "service/pages/sessions.h"

#include <sodium.h>
#include <strings.h>

#include <cctype>
#include <stdexcept>

#include "service/pages/web_text.h"

namespace mailwarden::pages {

std::string NewToken() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium could not start");
  unsigned char bytes[32];
  randombytes_buf(bytes, sizeof bytes);
  char text[sodium_base64_ENCODED_LEN(sizeof bytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING)];
  sodium_bin2base64(text, sizeof text, bytes, sizeof bytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  return text;
}

std::string HashToken(std::string_view token) {
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(token.data()), token.size());
  char hex[crypto_hash_sha256_BYTES * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
  return hex;
}

bool SameSecret(std::string_view a, std::string_view b) {
  return a.size() == b.size() && !a.empty() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

namespace {

// A token as NewToken makes it: anything else is not looked up.
bool TokenShaped(std::string_view token) {
  if (token.size() != 43) return false;
  for (char c : token)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return false;
  return true;
}

// The hash of the cookie's token; empty without a token-shaped one.
std::string CookieTokenHash(const http::Request& request, const char* cookie) {
  const auto cookies = ParseCookies(request);
  const auto found = cookies.find(cookie);
  if (found == cookies.end() || !TokenShaped(found->second)) return {};
  return HashToken(found->second);
}

}  // namespace

std::optional<SignedIn> CurrentSender(store::Store& store, const http::Request& request, store::Time now) {
  std::string hash = CookieTokenHash(request, kSessionCookie);
  if (hash.empty()) return std::nullopt;
  auto session = store.TouchSession(hash, now - kSessionIdle, now);
  if (!session) return std::nullopt;
  if (session->created < now - kSessionLifetime) {
    store.DeleteSession(hash);
    return std::nullopt;
  }
  auto account = store.FindAccountById(session->accountId);
  if (!account) return std::nullopt;
  return SignedIn{std::move(*account), std::move(*session), std::move(hash)};
}

std::int64_t SenderOfBrowser(store::Store& store, const http::Request& request, store::Time now) {
  const std::string hash = CookieTokenHash(request, kSenderCookie);
  if (hash.empty()) return 0;
  return store.MarkedAccount(hash, now - kSessionIdle, now - kSessionLifetime).value_or(0);
}

std::string SessionCookie(std::string_view name, std::string_view value, std::string_view path, bool secure, bool lax) {
  std::string cookie = std::string(name) + "=" + std::string(value) + "; Path=" + std::string(path) +
                       "; HttpOnly; SameSite=" + (lax ? "Lax" : "Strict");
  if (secure) cookie += "; Secure";
  return cookie;
}

std::string ExpiredCookie(std::string_view name, std::string_view path) {
  return std::string(name) + "=; Path=" + std::string(path) + "; Max-Age=0; HttpOnly; SameSite=Strict";
}

bool OverHttps(const http::Request& request) {
  const std::string& proto = request.Header("X-Forwarded-Proto");
  return proto.size() == 5 && strncasecmp(proto.c_str(), "https", 5) == 0;
}

}  // namespace mailwarden::pages

#pragma once
// Signing in to the sender's pages: a random 256-bit token in a cookie for
// "/cvx/" (HttpOnly, SameSite=Strict), kept by the store only as a hash,
// ending after 12 hours idle, 7 days after sign-in, at sign-out or at a
// change of password. A second cookie for "/p/" holds a token of its own,
// the marker: it lets the recipients' links tell the sender's own browser,
// and opens no page nor keeps the session alive.
#include <functional>
#include <optional>
#include <string>

#include "service/http/exchange.h"
#include "service/store/store.h"

namespace mailwarden::pages {

using Clock = std::function<store::Time()>;

inline constexpr store::Time kSecond = 1000000;
inline constexpr store::Time kSessionIdle = 12 * 3600 * kSecond;
inline constexpr store::Time kSessionLifetime = 7 * 24 * 3600 * kSecond;

inline constexpr const char* kSessionCookie = "cvx_session";
inline constexpr const char* kSenderCookie = "cvx_sender";
inline constexpr const char* kSignInCookie = "cvx_signin";

// Failed sign-ins allowed in a quarter of an hour from one client, for one
// address and in all. Past the first few a client is slowed: one more try
// per pause, until the limit refuses it for the rest of the window.
struct SignInLimits {
  int perAddress = 10;
  int perIp = 50;
  store::Time window = 15 * 60 * kSecond;
  int freePerAddress = 3;
  int freePerIp = 10;
  store::Time pause = 30 * kSecond;
};

struct SignedIn {
  store::Account account;
  store::Session session;
  std::string tokenHash;
};

// 256 random bits in URL-safe base64, and a token's hash as the store keeps it.
std::string NewToken();
std::string HashToken(std::string_view token);
// Compares in time independent of where the texts differ.
bool SameSecret(std::string_view a, std::string_view b);

// The sender signed in on this request's session cookie, with the session
// kept alive; nothing without a valid one.
std::optional<SignedIn> CurrentSender(store::Store& store, const http::Request& request, store::Time now);

// The account whose signed-in browser sent the request on the recipients'
// links (the "/p/" cookie); 0 when none.
std::int64_t SenderOfBrowser(store::Store& store, const http::Request& request, store::Time now);

// "Set-Cookie" values.
// SameSite=Strict for the pages' cookies; the "/p/" cookie is Lax, so it
// also comes along when the sender follows a link from a web mail page.
std::string SessionCookie(std::string_view name, std::string_view value, std::string_view path, bool secure,
                          bool lax = false);
std::string ExpiredCookie(std::string_view name, std::string_view path);
// True when the request reached the service over https through a proxy,
// so the cookies are marked Secure.
bool OverHttps(const http::Request& request);

}  // namespace mailwarden::pages

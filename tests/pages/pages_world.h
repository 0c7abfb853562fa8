#pragma once
// The pages on a store, driven as a browser would: requests with the
// cookies the replies set, forms read off the pages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "service/pages/pages.h"
#include "service/pages/web_text.h"

namespace pages_test {

namespace store = mailwarden::store;
namespace http = mailwarden::http;
namespace pages = mailwarden::pages;

inline constexpr store::Time kStart = 1797064800LL * 1000000;  // 2026-12-12T08:40:00Z
inline constexpr store::Time kSecond = 1000000;

// The first header of that name in a reply (names as the pages write them).
std::string HeaderOf(const http::Reply& reply, std::string_view name);

// One browser: its cookie jar (by name and path) and its address.
struct Browser {
  std::string ip = "127.0.0.1";
  std::map<std::pair<std::string, std::string>, std::string> cookies;  // (name, path) -> value
  std::string userAgent = "Mozilla/5.0 (X11; Linux x86_64) Chrome/150.0";

  void Keep(const http::Reply& reply);
  std::string CookieHeader(const std::string& path) const;
  std::string Cookie(const std::string& name, const std::string& path) const;
};

class PagesWorld : public ::testing::Test {
 protected:
  PagesWorld();

  // The whole reply, a body sent in pieces joined.
  http::Reply Get(Browser& browser, const std::string& target);
  // The reply as the server takes it, its further pieces (Reply::more) not yet made.
  http::Reply GetInPieces(Browser& browser, const std::string& target);
  http::Reply Post(Browser& browser, const std::string& path, const std::string& body);
  // Signs in through the form; the reply of the form's POST.
  http::Reply SignIn(Browser& browser, const std::string& address, const std::string& password);
  // The CSRF token of the page's first form.
  static std::string Csrf(const std::string& page);

  // A sender with this password (hashed once per run, it is slow on purpose).
  store::Account AddSender(const std::string& address, int credit = 100);
  // Stamps for a message of the sender, at the current time.
  store::Issued Send(const std::string& sender, const std::string& subject, std::vector<store::NewRecipient> recipients,
                     store::Kind kind = store::Kind::kTracked, const std::string& content = {}, bool isHtml = false);
  void Event(const std::string& stamp, store::EventType type, store::EventClass eventClass,
             const std::string& ip = "127.0.0.2", const std::string& userAgent = "Mozilla/5.0",
             const std::string& reason = "a mail program or browser; no sign of a machine");

  static const std::string kPassword;
  // The real engine, on a database in memory.
  std::unique_ptr<store::Store> store_ = store::OpenStore("sqlite::memory:");
  store::Time now_ = kStart;
  pages::PagesOptions options_;
  std::unique_ptr<pages::Pages> pages_;
  int stamps_ = 0;
};

}  // namespace pages_test

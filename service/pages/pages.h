#pragma once
// The sender's web pages under "/cvx/" (sign-in, messages, a message's
// recipients and their events, cancelling a certified delivery, password,
// the add-in key, the notices' settings,
// CSV and JSON) and the public pages "/" and "/cvx/donation/".
#include <memory>
#include <optional>
#include <string>

#include "service/events/client_names.h"
#include "service/http/exchange.h"
#include "service/keys/sealing.h"
#include "service/pages/layout.h"
#include "service/pages/live_hub.h"
#include "service/pages/sessions.h"
#include "service/store/store.h"

namespace mailwarden::pages {

// A longer search is cut to this many bytes, on the page and in the API:
// each byte costs a look through every subject.
inline constexpr std::size_t kLongestSearch = 200;

struct PagesOptions {
  Clock clock;               // the system clock when empty
  std::string donationText;  // replaces the donation page's text (plain text; blank lines part paragraphs)
  SignInLimits limits;
  int pageSize = 50;  // messages per page
  // What the senders' add-in keys are sealed with; without it no key is made here.
  std::optional<keys::SealingKey> sealingKey;
  bool mailNotices = false;           // the service sends mail notices (serve --smtp)
  bool webhooksAllowPrivate = false;  // webhooks may point into private networks
  // Names the programs behind the User-Agents; without it the pages show them as they came.
  std::shared_ptr<const events::ClientNames> clients;
  LiveLimits live;
};

// Webhooks an account may have.
inline constexpr std::size_t kMaxWebhooks = 10;

class Pages {
 public:
  explicit Pages(store::Store& store, PagesOptions options = {});
  ~Pages();

  // "/" and every path under "/cvx/" but "/cvx/toua.txt".
  http::Reply Handle(const http::Request& request);
  // This process has written recipients' events: the open pages hear at once.
  void EventsWritten();
  http::Reply operator()(const http::Request& request) { return Handle(request); }

 private:
  store::Time Now() const;
  http::Reply Public(const http::Request& request);
  http::Reply Api(const http::Request& request);
  http::Reply SignInForm(const http::Request& request, int status, std::string_view message,
                         std::string_view address = {});
  http::Reply SignIn(const http::Request& request);
  http::Reply SignOut(const SignedIn& sender);
  http::Reply MessageList(const http::Request& request, const SignedIn& sender);
  http::Reply MessagePage(const http::Request& request, const SignedIn& sender, std::int64_t id);
  http::Reply CancelDelivery(const http::Request& request, const SignedIn& sender, std::int64_t id);
  http::Reply Password(const http::Request& request, const SignedIn& sender);
  http::Reply AddinKey(const http::Request& request, const SignedIn& sender);
  http::Reply Codepage(const http::Request& request, const SignedIn& sender);
  http::Reply Settings(const http::Request& request, const SignedIn& sender);
  http::Reply Export(const SignedIn& sender);
  http::Reply Live(const http::Request& request, const SignedIn& sender);

  store::Store& store_;
  PagesOptions options_;
  std::unique_ptr<LiveHub> live_;
};

}  // namespace mailwarden::pages

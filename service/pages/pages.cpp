#include "service/pages/pages.h"

#include <algorithm>
#include <iostream>
#include <iterator>

#include "service/context.h"
#include "service/keys/account_keys.h"
#include "service/pages/password.h"
#include "service/pages/public_pages.h"
#include "service/pages/web_text.h"
#include "service/requests/values.h"
#include "service/store/address_key.h"
#include "service/store/attempt_key.h"

namespace mailwarden::pages {

namespace {

constexpr std::string_view kMessagesPrefix = "/cvx/messages/";
constexpr std::size_t kLongestField = 1024;
constexpr const char* kAddinKeyPath = "/cvx/key";
constexpr const char* kCodepagePath = "/cvx/codepage";

// The Windows code pages the add-in may write in, as Windows names them.
struct NamedCodepage {
  int codepage;
  const char* name;
};
constexpr NamedCodepage kCodepages[] = {
    {1252, "Western European"},
    {1250, "Central European"},
    {1251, "Cyrillic"},
    {1253, "Greek"},
    {1254, "Turkish"},
    {1255, "Hebrew"},
    {1256, "Arabic"},
    {1257, "Baltic"},
    {1258, "Vietnamese"},
    {874, "Thai"},
    {932, "Japanese"},
    {936, "Chinese (Simplified)"},
    {949, "Korean"},
    {950, "Chinese (Traditional)"},
};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

http::Reply MethodNotAllowed(const char* allow) {
  http::Reply reply = Problem(405, "Not allowed", "This address does not take that kind of request.");
  reply.Set("Allow", allow);
  return reply;
}

bool IsGet(const http::Request& request) {
  return request.method == "GET" || request.method == "HEAD";
}

std::string TrimmedAddress(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return "";
  const auto last = text.find_last_not_of(" \t\r\n");
  return store::AddressKey(text.substr(first, last - first + 1));
}

// A hash to check a password against when the address has none, so a
// wrong address takes as long as a wrong password.
const std::string& DecoyHash() {
  static const std::string hash = HashPassword("no account has this password");
  return hash;
}

}  // namespace

Pages::Pages(store::Store& store, PagesOptions options) : store_(store), options_(std::move(options)) {
  if (!options_.clock) options_.clock = SystemNow;
  if (options_.pageSize < 1) options_.pageSize = 50;
  live_ = std::make_unique<LiveHub>(store_, options_.live);
}

Pages::~Pages() = default;

store::Time Pages::Now() const {
  return options_.clock();
}

void Pages::EventsWritten() {
  live_->Wake();
}

http::Reply Pages::Handle(const http::Request& request) {
  const std::string& path = request.path;
  if (path == "/" || path == "/cvx/donation/" || StartsWith(path, "/cvx/static/")) return Public(request);
  if (path == "/cvx" || path == "/cvx/donation") return Redirect(path + "/");
  if (StartsWith(path, "/cvx/api/")) return Api(request);
  if (path == "/cvx/signin") {
    if (request.method != "POST") return Redirect("/cvx/");
    return SignIn(request);
  }

  const auto sender = CurrentSender(store_, request, Now());
  if (!sender) {
    if (path == "/cvx/" && IsGet(request)) {
      const auto fields = ParseFields(request.query);
      return SignInForm(request, 200, fields.count("signedout") ? "You have signed out." : "");
    }
    if (IsGet(request)) return Redirect("/cvx/");
    return SignInForm(request, 403, "Your session has ended. Please sign in again.");
  }
  const Viewer viewer{sender->account.address, sender->session.csrf};

  // Every form that changes something carries the session's CSRF token.
  if (request.method == "POST") {
    const auto fields = ParseFields(request.body);
    const auto token = fields.find("csrf");
    if (token == fields.end() || !SameSecret(token->second, sender->session.csrf)) {
      return Problem(403, "Form expired", "This form is out of date. Go back, reload the page and try again.", &viewer);
    }
  }

  if (path == "/cvx/") return IsGet(request) ? MessageList(request, *sender) : MethodNotAllowed("GET");
  if (path == "/cvx/signout") return request.method == "POST" ? SignOut(*sender) : MethodNotAllowed("POST");
  if (path == "/cvx/password") {
    return IsGet(request) || request.method == "POST" ? Password(request, *sender) : MethodNotAllowed("GET, POST");
  }
  if (path == kAddinKeyPath) {
    return IsGet(request) || request.method == "POST" ? AddinKey(request, *sender) : MethodNotAllowed("GET, POST");
  }
  if (path == kCodepagePath) {
    return IsGet(request) || request.method == "POST" ? Codepage(request, *sender) : MethodNotAllowed("GET, POST");
  }
  if (path == "/cvx/settings") {
    return IsGet(request) || request.method == "POST" ? Settings(request, *sender) : MethodNotAllowed("GET, POST");
  }
  if (path == "/cvx/export.csv") return IsGet(request) ? Export(*sender) : MethodNotAllowed("GET");
  if (path == "/cvx/live") return request.method == "GET" ? Live(request, *sender) : MethodNotAllowed("GET");
  if (StartsWith(path, kMessagesPrefix)) {
    std::string_view rest = std::string_view(path).substr(kMessagesPrefix.size());
    const bool cancel = rest.size() > 7 && rest.substr(rest.size() - 7) == "/cancel";
    if (cancel) rest.remove_suffix(7);
    const std::int64_t id = ParseId(rest);
    if (id) {
      if (cancel) return request.method == "POST" ? CancelDelivery(request, *sender, id) : MethodNotAllowed("POST");
      return IsGet(request) ? MessagePage(request, *sender, id) : MethodNotAllowed("GET");
    }
  }
  return NotFound(&viewer);
}

http::Reply Pages::Public(const http::Request& request) {
  if (!IsGet(request)) return MethodNotAllowed("GET");
  if (request.path == "/") return HomePage();
  if (request.path == "/cvx/donation/") return DonationPage(options_.donationText);
  auto file = StaticFile(std::string_view(request.path).substr(std::string_view("/cvx/static/").size()));
  return file ? std::move(*file) : NotFound();
}

http::Reply Pages::SignInForm(const http::Request& request, int status, std::string_view message,
                              std::string_view address) {
  // Before a session exists, the form's token is a cookie of its own that
  // the form repeats (the browser alone can read and send both).
  const auto cookies = ParseCookies(request);
  auto token = cookies.find(kSignInCookie);
  const bool fresh = token == cookies.end() || token->second.size() != 43;
  const std::string csrf = fresh ? NewToken() : token->second;
  std::string body = "<h1>Sign in</h1>\n";
  if (!message.empty()) body += "<p class=\"notice\" role=\"alert\">" + Escape(message) + "</p>\n";
  body +=
      "<p>Sign in to see who opened, confirmed, read or cancelled the mail you tracked.</p>\n"
      "<form class=\"signin\" method=\"post\" action=\"/cvx/signin\">" +
      CsrfField(csrf) +
      "<label>E-mail address <input type=\"email\" name=\"address\" autocomplete=\"username\" required "
      "value=\"" +
      Escape(address) +
      "\"></label>\n<label>Password <input type=\"password\" name=\"password\" "
      "autocomplete=\"current-password\" required></label>\n<button type=\"submit\">Sign in</button></form>\n"
      "<p class=\"hint\">Your administrator sets your password with <code>mailwarden account "
      "password</code>.</p>";
  http::Reply reply = HtmlReply(status, Frame("Sign in", body), true);
  if (fresh) reply.Set("Set-Cookie", SessionCookie(kSignInCookie, csrf, "/cvx/", OverHttps(request)));
  return reply;
}

http::Reply Pages::SignIn(const http::Request& request) {
  const auto fields = ParseFields(request.body);
  const auto cookies = ParseCookies(request);
  const auto field = [&](const char* name) { return FieldOf(fields, name); };
  const auto cookie = cookies.find(kSignInCookie);
  if (cookie == cookies.end() || !SameSecret(cookie->second, field("csrf"))) {
    return SignInForm(request, 403,
                      "The sign-in form was out of date, or your browser keeps no cookies. "
                      "Please try again.");
  }
  const std::string address = TrimmedAddress(field("address"));
  const std::string password = field("password");
  if (address.empty() || password.empty() || address.size() > kLongestField || password.size() > kLongestField) {
    return SignInForm(request, 400, "Please give your e-mail address and your password.", address);
  }

  const store::Time now = Now();
  // Failures are counted, not attempts, and by the failing client: per
  // client and per address from that client. Another client's failures
  // never refuse the owner's right password. Fixed windows, so every process
  // counts the same.
  const SignInLimits& limits = options_.limits;
  const store::Time windowStart = now - now % limits.window;
  const store::Time pauseStart = now - now % limits.pause;
  const std::string client = store::AttemptKey(request.ip);
  const std::string clientNow = store::RecentAttemptKey(request.ip);
  const std::vector<std::pair<std::string, std::string>> failureKeys = {{"signin-failed-ip", client},
                                                                        {store::SignInFailureKind(address), client}};
  const std::vector<std::pair<std::string, std::string>> recentKeys = {{"signin-failed-ip", clientNow},
                                                                       {store::SignInFailureKind(address), clientNow}};
  const std::vector<int> failures = store_.AttemptCounts(failureKeys, windowStart);
  if (failures[0] >= limits.perIp || failures[1] >= limits.perAddress) {
    std::cerr << "mailwarden: sign-in refused: too many failed sign-ins from " << request.ip << std::endl;
    return SignInForm(request, 429, "Too many sign-in attempts. Please wait a quarter of an hour and try again.",
                      address);
  }
  if (failures[0] >= limits.freePerIp || failures[1] >= limits.freePerAddress) {
    const std::vector<int> recent = store_.AttemptCounts(recentKeys, pauseStart);
    if (recent[0] > 0 || recent[1] > 0) {
      std::cerr << "mailwarden: sign-in slowed: failed sign-ins from " << request.ip << std::endl;
      const auto wait = std::to_string((pauseStart + limits.pause - now + kSecond - 1) / kSecond);
      http::Reply reply = SignInForm(
          request, 429, "Too many failed sign-ins. Please wait " + wait + " seconds and try again.", address);
      reply.Set("Retry-After", wait);
      return reply;
    }
  }

  const auto account = store_.FindAccount(address);
  const bool hasPassword = account && !account->passwordHash.empty();
  const bool right = VerifyPassword(hasPassword ? account->passwordHash : DecoyHash(), password) && hasPassword;
  if (!right) {
    store_.CountAttempts(failureKeys, windowStart, now);
    store_.CountAttempts(recentKeys, pauseStart, now);
    return SignInForm(request, 403, "The address or the password is wrong.", address);
  }

  const std::string token = NewToken();
  const std::string marker = NewToken();
  store_.CreateSession(HashToken(token), store::Session{account->id, NewToken(), now, now, HashToken(marker)});
  const bool secure = OverHttps(request);
  http::Reply reply = Redirect("/cvx/");
  reply.Set("Set-Cookie", SessionCookie(kSessionCookie, token, "/cvx/", secure));
  reply.Set("Set-Cookie", SessionCookie(kSenderCookie, marker, "/p/", secure, true));
  reply.Set("Set-Cookie", ExpiredCookie(kSignInCookie, "/cvx/"));
  return reply;
}

http::Reply Pages::SignOut(const SignedIn& sender) {
  store_.DeleteSession(sender.tokenHash);
  http::Reply reply = Redirect("/cvx/?signedout=1");
  reply.Set("Set-Cookie", ExpiredCookie(kSessionCookie, "/cvx/"));
  reply.Set("Set-Cookie", ExpiredCookie(kSenderCookie, "/p/"));
  return reply;
}

http::Reply Pages::Password(const http::Request& request, const SignedIn& sender) {
  const Viewer viewer{sender.account.address, sender.session.csrf};
  std::string message;
  bool changed = false;
  if (request.method == "POST") {
    auto fields = ParseFields(request.body);
    const std::string& current = fields["current"];
    const std::string& fresh = fields["new"];
    const store::Time now = Now();
    if (store_.CountAttempt("password", std::to_string(sender.account.id), now - now % options_.limits.window, now) >
        options_.limits.perAddress) {
      message = "Too many attempts. Please wait a quarter of an hour and try again.";
    } else if (current.size() > kLongestField || !VerifyPassword(sender.account.passwordHash, current)) {
      message = "The current password is wrong.";
    } else if (fresh.size() < kMinPasswordLength || fresh.size() > kLongestField) {
      message = "The new password must have at least " + std::to_string(kMinPasswordLength) + " characters.";
    } else if (fresh != fields["repeat"]) {
      message = "The two new passwords differ.";
    } else {
      store_.SetPasswordHash(sender.account.address, HashPassword(fresh));
      // Whoever else was signed in, perhaps with the old password, is not any more.
      store_.EndSessions(sender.account.id, sender.tokenHash);
      store_.ForgetAttempts(store::SignInFailureKind(sender.account.address));
      message = "Your password has been changed.";
      changed = true;
    }
  }
  std::string body = "<h1>Change your password</h1>\n";
  if (!message.empty()) {
    body +=
        "<p class=\"notice" + std::string(changed ? "" : " error") + "\" role=\"alert\">" + Escape(message) + "</p>\n";
  }
  body += "<form class=\"signin\" method=\"post\" action=\"/cvx/password\">" + CsrfField(sender.session.csrf) +
          "<label>Current password <input type=\"password\" name=\"current\" autocomplete=\"current-password\" "
          "required></label>\n<label>New password <input type=\"password\" name=\"new\" "
          "autocomplete=\"new-password\" minlength=\"" +
          std::to_string(kMinPasswordLength) +
          "\" required></label>\n<label>New password again <input type=\"password\" name=\"repeat\" "
          "autocomplete=\"new-password\" required></label>\n<button type=\"submit\">Change password</button>"
          "</form>";
  const int status = message.empty() || changed ? 200 : 400;
  return HtmlReply(status, Frame("Password", body, &viewer), true);
}

// The key the add-in signs its requests with, so that no one else can send
// in the sender's name. Shown once, when made: the service keeps it only
// encrypted and never shows it again.
http::Reply Pages::AddinKey(const http::Request& request, const SignedIn& sender) {
  const Viewer viewer{sender.account.address, sender.session.csrf};
  std::string body = "<h1>Add-in key</h1>\n";
  if (request.method == "POST") {
    const std::optional<std::string> made =
        options_.sealingKey ? keys::MakeAddinKey(store_, *options_.sealingKey, sender.account.address) : std::nullopt;
    if (!made)
      return Problem(503, "Not now", "The service cannot make add-in keys now. Please tell your administrator.",
                     &viewer);
    body +=
        "<p class=\"notice\" role=\"alert\">Your new add-in key is below. Copy it now: it is shown this once. Any key "
        "you had before no longer works.</p>\n<p><code class=\"key\">" +
        Escape(*made) +
        "</code></p>\n<h2>Put it into the add-in</h2>\n<ol>\n<li>Run the Corvanta setup program again (it keeps "
        "your settings) and paste the key into \"Add-in key\" on the page that asks for the service. Your "
        "administrator can install it for you with <code>/SERVICEKEY=</code> and the key.</li>\n<li>Restart "
        "Outlook. From then on the add-in signs every request with the key.</li>\n</ol>\n";
    return HtmlReply(200, Frame("Add-in key", body, &viewer), true);
  }
  const bool has = !sender.account.addinKey.empty();
  body += has ? "<p>Your add-in signs its requests with your add-in key, so no one else can ask for stamps, send "
                "certified mail or spend your credit in your name.</p>\n"
              : "<p>You have no add-in key yet. Without one, anyone who knows your address can ask for stamps, send "
                "certified mail and spend your credit in your name.</p>\n";
  body += "<p>A new key replaces the old one at once: the add-in sends nothing until the new key is in it.</p>\n";
  body += "<form method=\"post\" action=\"" + std::string(kAddinKeyPath) + "\">" + CsrfField(sender.session.csrf) +
          "<button type=\"submit\">Make a new key</button></form>";
  return HtmlReply(200, Frame("Add-in key", body, &viewer), true);
}

// The code page of the sender's Windows, which the add-in writes its text in.
// Setting it reads again the messages whose text no code page read for sure
// (kept with what was received), so nothing sent before is lost to a guess.
http::Reply Pages::Codepage(const http::Request& request, const SignedIn& sender) {
  const Viewer viewer{sender.account.address, sender.session.csrf};
  int current = sender.account.codepage;
  std::string message;
  if (request.method == "POST") {
    const auto fields = ParseFields(request.body);
    const auto chosen = fields.find("codepage");
    const auto known = std::find_if(std::begin(kCodepages), std::end(kCodepages), [&](const NamedCodepage& page) {
      return chosen != fields.end() && chosen->second == std::to_string(page.codepage);
    });
    if (known == std::end(kCodepages)) {
      return Problem(400, "Unknown code page", "Choose one of the code pages in the list.", &viewer);
    }
    store_.SetCodepage(sender.account.address, known->codepage);
    const int reread = ReadKeptTextsAgain(store_, sender.account.address, known->codepage);
    current = known->codepage;
    message = "Your code page is now " + std::to_string(current) + " (" + known->name + ")." +
              (reread > 0 ? " " + std::to_string(reread) + " earlier messages were read in it again." : "");
  }
  std::string body = "<h1>Code page</h1>\n";
  if (!message.empty()) body += "<p class=\"notice\" role=\"alert\">" + Escape(message) + "</p>\n";
  body +=
      "<p>The add-in writes subjects and names in the code page of your Windows. Choose your Windows' language, so "
      "that they show right here; messages you sent before are shown in it too.</p>\n<form method=\"post\" "
      "action=\"" +
      std::string(kCodepagePath) + "\">" + CsrfField(sender.session.csrf) +
      "<label>Your Windows' language <select name=\"codepage\">";
  for (const NamedCodepage& page : kCodepages) {
    const std::string number = std::to_string(page.codepage);
    body += "<option value=\"" + number + "\"" + (page.codepage == current ? " selected" : "") + ">" + page.name +
            " (" + number + ")</option>";
  }
  body += "</select></label>\n<button type=\"submit\">Save</button></form>";
  return HtmlReply(200, Frame("Code page", body, &viewer), true);
}

}  // namespace mailwarden::pages

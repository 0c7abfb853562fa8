// Signing in and out, sessions, CSRF tokens and the sign-in limits.
#include "pages_world.h"
#include "service/pages/sessions.h"
#include "service/store/attempt_key.h"

namespace pages_test {
namespace {

using ::testing::HasSubstr;

std::vector<std::string> SetCookies(const http::Reply& reply) {
  std::vector<std::string> cookies;
  for (const auto& [name, value] : reply.headers)
    if (name == "Set-Cookie") cookies.push_back(value);
  return cookies;
}

class SignInTest : public PagesWorld {
 protected:
  void SetUp() override { AddSender("ann@example.com"); }
};

TEST_F(SignInTest, RightPasswordOpensTheMessagesWithAHashedTokenInAStrictCookie) {
  Browser browser;
  const http::Reply reply = SignIn(browser, " Ann@Example.COM ", kPassword);
  ASSERT_EQ(reply.status, 303);
  const auto cookies = SetCookies(reply);
  ASSERT_GE(cookies.size(), 2u);
  EXPECT_THAT(cookies[0], ::testing::MatchesRegex("cvx_session=[A-Za-z0-9_-]{43}; Path=/cvx/; HttpOnly; "
                                                  "SameSite=Strict"));
  const std::string token = browser.Cookie("cvx_session", "/cvx/");
  // The store keeps the hash: the cookie's token itself finds no session.
  EXPECT_FALSE(store_->TouchSession(token, 0, now_));
  EXPECT_TRUE(store_->TouchSession(pages::HashToken(token), 0, now_));

  const http::Reply page = Get(browser, "/cvx/");
  EXPECT_EQ(page.status, 200);
  EXPECT_THAT(page.body, HasSubstr("Your messages"));
  EXPECT_THAT(page.body, HasSubstr("ann@example.com"));
}

TEST_F(SignInTest, WrongPasswordUnknownAddressOrNoPasswordLeaveNoSession) {
  store_->AddAccount("nopass@example.com", 5, now_);
  for (const auto& [address, password] :
       std::vector<std::pair<std::string, std::string>>{{"ann@example.com", "wrong password"},
                                                        {"bob@example.com", kPassword},
                                                        {"nopass@example.com", ""},
                                                        {"nopass@example.com", "anything at all"}}) {
    Browser browser;
    const http::Reply reply = SignIn(browser, address, password);
    EXPECT_NE(reply.status, 303) << address;
    EXPECT_EQ(browser.Cookie("cvx_session", "/cvx/"), "") << address;
  }
}

TEST_F(SignInTest, SignInFormWithoutItsCookieTokenIsRefused) {
  Browser browser;
  const std::string csrf = Csrf(Get(browser, "/cvx/").body);
  Browser other;  // a page elsewhere posting the form: it has no such cookie
  const http::Reply reply = Post(
      other, "/cvx/signin", "csrf=" + csrf + "&address=ann%40example.com&password=" + pages::QueryEscape(kPassword));
  EXPECT_EQ(reply.status, 403);
  EXPECT_EQ(other.Cookie("cvx_session", "/cvx/"), "");
}

TEST_F(SignInTest, FailuresRefuseTheFailingClientNeverTheOwnerElsewhere) {
  options_.limits.perAddress = 3;
  options_.limits.perIp = 5;
  pages_ = std::make_unique<pages::Pages>(*store_, options_);
  // Right passwords are not failures: the owner signs in as often as she likes.
  const auto owner = [] {
    Browser fresh;
    fresh.ip = "127.0.0.9";
    return fresh;
  };
  for (int i = 0; i < 4; ++i) {
    Browser browser = owner();
    ASSERT_EQ(SignIn(browser, "ann@example.com", kPassword).status, 303) << i;
  }

  Browser guesser;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(SignIn(guesser, "ann@example.com", "guess").status, 403);
  // The failing client waits, even with the right password.
  EXPECT_EQ(SignIn(guesser, "ann@example.com", kPassword).status, 429);
  // Many clients failing for the address do not lock the owner out.
  for (int client = 10; client < 14; ++client) {
    Browser other;
    other.ip = "127.0.1." + std::to_string(client);
    for (int i = 0; i < 3; ++i) SignIn(other, "ann@example.com", "guess");
  }
  Browser browser = owner();
  EXPECT_EQ(SignIn(browser, "ann@example.com", kPassword).status, 303);
  // A quarter of an hour later the failing client may try again.
  now_ += 16 * 60 * kSecond;
  EXPECT_EQ(SignIn(guesser, "ann@example.com", kPassword).status, 303);

  // One client failing for many addresses.
  Browser scanner;
  scanner.ip = "127.0.0.7";
  for (int i = 0; i < 5; ++i) SignIn(scanner, "user" + std::to_string(i) + "@example.com", "guess");
  EXPECT_EQ(SignIn(scanner, "ann@example.com", kPassword).status, 429);
}

TEST_F(SignInTest, AFailingClientIsSlowedBeforeItIsRefused) {
  // Default limits: three failures come freely, then one try per half minute.
  const auto header = [](const http::Reply& reply, std::string_view name) {
    for (const auto& [key, value] : reply.headers)
      if (key == name) return value;
    return std::string();
  };
  now_ -= now_ % (30 * kSecond);
  Browser guesser;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(SignIn(guesser, "ann@example.com", "guess").status, 403) << i;
  EXPECT_EQ(SignIn(guesser, "ann@example.com", "guess").status, 429);
  now_ += 30 * kSecond;
  EXPECT_EQ(SignIn(guesser, "ann@example.com", "guess").status, 403);  // one try in the next half minute
  now_ += 10 * kSecond;
  const http::Reply slowed = SignIn(guesser, "ann@example.com", kPassword);
  EXPECT_EQ(slowed.status, 429);
  EXPECT_EQ(header(slowed, "Retry-After"), "20");
  EXPECT_THAT(slowed.body, HasSubstr("Please wait 20 seconds"));
  // The owner elsewhere is not slowed.
  Browser owner;
  owner.ip = "127.0.0.9";
  EXPECT_EQ(SignIn(owner, "ann@example.com", kPassword).status, 303);
  // Slowed tries are not failures: the next half minute the client gets one try.
  now_ += 20 * kSecond;
  EXPECT_EQ(SignIn(guesser, "ann@example.com", "guess").status, 403);
  EXPECT_EQ(SignIn(guesser, "ann@example.com", "guess").status, 429);
  now_ += 30 * kSecond;
  EXPECT_EQ(SignIn(guesser, "ann@example.com", kPassword).status, 303);

  // So a guesser gets a few tries per window, and unlocking lifts the pause.
  Browser other;
  other.ip = "127.0.0.8";
  for (int i = 0; i < 4; ++i) SignIn(other, "ann@example.com", "guess");
  ASSERT_EQ(SignIn(other, "ann@example.com", kPassword).status, 429);
  store_->ForgetAttempts(store::SignInFailureKind("ann@example.com"));
  EXPECT_EQ(SignIn(other, "ann@example.com", kPassword).status, 303);
}

TEST_F(SignInTest, UnlockingTheAddressClearsItsFailures) {
  options_.limits.perAddress = 3;
  pages_ = std::make_unique<pages::Pages>(*store_, options_);
  Browser owner;
  for (int i = 0; i < 3; ++i) SignIn(owner, "ann@example.com", "misremembered");
  ASSERT_EQ(SignIn(owner, "ann@example.com", kPassword).status, 429);
  store_->ForgetAttempts(store::SignInFailureKind("Ann@Example.com"));
  EXPECT_EQ(SignIn(owner, "ann@example.com", kPassword).status, 303);
}

TEST_F(SignInTest, SessionEndsAfterTwelveHoursIdleButLivesWhileUsed) {
  Browser browser;
  ASSERT_EQ(SignIn(browser, "ann@example.com", kPassword).status, 303);
  for (int i = 0; i < 3; ++i) {
    now_ += 11 * 3600 * kSecond;
    ASSERT_THAT(Get(browser, "/cvx/").body, HasSubstr("Your messages"));
  }
  now_ += 12 * 3600 * kSecond + kSecond;
  EXPECT_THAT(Get(browser, "/cvx/").body, HasSubstr("Sign in"));
  EXPECT_EQ(Get(browser, "/cvx/messages/1").status, 303);
  EXPECT_EQ(Get(browser, "/cvx/api/messages").status, 401);
}

TEST_F(SignInTest, SessionEndsSevenDaysAfterSignInEvenWhileUsed) {
  Browser browser;
  const store::Time signedIn = now_;
  ASSERT_EQ(SignIn(browser, "ann@example.com", kPassword).status, 303);
  const std::string token = browser.Cookie("cvx_session", "/cvx/");
  for (int i = 0; i < 15; ++i) {  // 165 hours, never 12 idle
    now_ += 11 * 3600 * kSecond;
    ASSERT_THAT(Get(browser, "/cvx/").body, HasSubstr("Your messages")) << i;
  }
  now_ = signedIn + 7 * 24 * 3600 * kSecond + kSecond;
  EXPECT_THAT(Get(browser, "/cvx/").body, HasSubstr("Sign in"));
  EXPECT_FALSE(store_->TouchSession(pages::HashToken(token), 0, now_));  // deleted, not just refused
}

TEST_F(SignInTest, TheLinksCookieIsAMarkerThatOpensNoPage) {
  Browser browser;
  ASSERT_EQ(SignIn(browser, "ann@example.com", kPassword).status, 303);
  const std::string marker = browser.Cookie("cvx_sender", "/p/");
  ASSERT_EQ(marker.size(), 43u);
  EXPECT_NE(marker, browser.Cookie("cvx_session", "/cvx/"));
  Browser thief;
  thief.cookies[{"cvx_session", "/cvx/"}] = marker;
  EXPECT_THAT(Get(thief, "/cvx/").body, HasSubstr("Sign in"));
  EXPECT_EQ(Get(thief, "/cvx/api/messages").status, 401);
}

TEST_F(SignInTest, PasswordChangeEndsEveryOtherSession) {
  Browser laptop, phone, stolen;
  for (Browser* browser : {&laptop, &phone, &stolen})
    ASSERT_EQ(SignIn(*browser, "ann@example.com", kPassword).status, 303);
  const std::string csrf = Csrf(Get(laptop, "/cvx/password").body);
  const http::Reply done =
      Post(laptop, "/cvx/password",
           "csrf=" + csrf + "&current=" + pages::QueryEscape(kPassword) + "&new=new+password&repeat=new+password");
  ASSERT_THAT(done.body, HasSubstr("Your password has been changed."));
  EXPECT_THAT(Get(laptop, "/cvx/").body, HasSubstr("Your messages"));
  EXPECT_THAT(Get(phone, "/cvx/").body, HasSubstr("Sign in"));
  EXPECT_EQ(Get(stolen, "/cvx/api/messages").status, 401);
}

TEST_F(SignInTest, SignOutNeedsTheFormTokenAndEndsTheSession) {
  Browser browser;
  ASSERT_EQ(SignIn(browser, "ann@example.com", kPassword).status, 303);
  const std::string page = Get(browser, "/cvx/").body;
  const std::string token = browser.Cookie("cvx_session", "/cvx/");

  EXPECT_EQ(Post(browser, "/cvx/signout", "csrf=forged").status, 403);
  EXPECT_EQ(Post(browser, "/cvx/signout", "").status, 403);
  ASSERT_THAT(Get(browser, "/cvx/").body, HasSubstr("Your messages"));

  const http::Reply out = Post(browser, "/cvx/signout", "csrf=" + Csrf(page));
  EXPECT_EQ(out.status, 303);
  EXPECT_EQ(browser.Cookie("cvx_session", "/cvx/"), "");
  EXPECT_FALSE(store_->TouchSession(pages::HashToken(token), 0, now_));
  // A copy of the old cookie is worth nothing now.
  Browser thief;
  thief.cookies[{"cvx_session", "/cvx/"}] = token;
  EXPECT_THAT(Get(thief, "/cvx/").body, HasSubstr("Sign in"));
  EXPECT_EQ(Get(thief, "/cvx/api/messages").status, 401);
}

TEST_F(SignInTest, ChangingFormsNeedTheSessionsCsrfToken) {
  Browser browser;
  ASSERT_EQ(SignIn(browser, "ann@example.com", kPassword).status, 303);
  const auto sent = Send("ann@example.com", "Contract", {{"bob@example.net", "Bob"}}, store::Kind::kCertified, "Hi");
  EXPECT_EQ(Post(browser, "/cvx/messages/" + std::to_string(sent.messageId) + "/cancel", "to=1").status, 403);
  EXPECT_EQ(Post(browser, "/cvx/password", "current=x&new=yyyyyyyy&repeat=yyyyyyyy").status, 403);
  EXPECT_FALSE(store_->FindStamp(sent.stamps[0])->cancelled);
}

TEST_F(SignInTest, PasswordChangeChecksTheCurrentOneAndTheNewOnesLength) {
  Browser browser;
  ASSERT_EQ(SignIn(browser, "ann@example.com", kPassword).status, 303);
  const std::string csrf = Csrf(Get(browser, "/cvx/password").body);
  struct Case {
    std::string current, fresh, repeat, says;
  };
  for (const Case& c : std::vector<Case>{{"wrong", "new password", "new password", "current password is wrong"},
                                         {kPassword, "short", "short", "at least 8 characters"},
                                         {kPassword, "new password", "other password", "differ"}}) {
    const http::Reply reply =
        Post(browser, "/cvx/password",
             "csrf=" + csrf + "&current=" + pages::QueryEscape(c.current) + "&new=" + pages::QueryEscape(c.fresh) +
                 "&repeat=" + pages::QueryEscape(c.repeat));
    EXPECT_EQ(reply.status, 400);
    EXPECT_THAT(reply.body, HasSubstr(c.says));
  }
  const http::Reply done =
      Post(browser, "/cvx/password",
           "csrf=" + csrf + "&current=" + pages::QueryEscape(kPassword) + "&new=new+password&repeat=new+password");
  EXPECT_THAT(done.body, HasSubstr("Your password has been changed."));
  Browser again;
  EXPECT_EQ(SignIn(again, "ann@example.com", kPassword).status, 403);
  EXPECT_EQ(SignIn(again, "ann@example.com", "new password").status, 303);
}

}  // namespace
}  // namespace pages_test

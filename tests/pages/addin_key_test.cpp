// The settings page "Add-in key": a new key made on a button's POST with the
// session's form token, shown once, kept only encrypted, replacing the old.
#include <regex>

#include "pages_world.h"
#include "service/keys/sealing.h"

namespace pages_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class AddinKeyPage : public PagesWorld {
 protected:
  void SetUp() override {
    options_.sealingKey = sealing_;
    pages_ = std::make_unique<pages::Pages>(*store_, options_);
    AddSender("ann@example.com");
    ASSERT_EQ(SignIn(browser_, "ann@example.com", kPassword).status, 303);
  }

  // The key a page shows, or "".
  static std::string ShownKey(const std::string& page) {
    std::smatch found;
    static const std::regex key(R"(<code class="key">([0-9a-f]{64})</code>)");
    return std::regex_search(page, found, key) ? found[1].str() : "";
  }

  mailwarden::keys::SealingKey sealing_ = mailwarden::keys::NewSealingKey();
  Browser browser_;
};

TEST_F(AddinKeyPage, MakesANewKeyShownOnceAndKeptOnlySealed) {
  const http::Reply before = Get(browser_, "/cvx/key");
  ASSERT_EQ(before.status, 200);
  EXPECT_THAT(before.body, HasSubstr("<h1>Add-in key</h1>"));
  EXPECT_THAT(before.body, HasSubstr("You have no add-in key yet."));
  EXPECT_THAT(before.body, HasSubstr(">Make a new key</button>"));
  EXPECT_THAT(Get(browser_, "/cvx/").body, HasSubstr("<a href=\"/cvx/key\">Add-in key</a>"));

  const std::string csrf = Csrf(before.body);
  const http::Reply made = Post(browser_, "/cvx/key", "csrf=" + csrf);
  ASSERT_EQ(made.status, 200);
  const std::string key = ShownKey(made.body);
  ASSERT_EQ(key.size(), 64u) << made.body;
  EXPECT_THAT(made.body, HasSubstr("it is shown this once"));
  EXPECT_THAT(made.body, HasSubstr("\"Add-in key\""));
  EXPECT_THAT(made.body, HasSubstr("/SERVICEKEY="));
  EXPECT_EQ(HeaderOf(made, "Cache-Control").find("no-store"), 0u) << HeaderOf(made, "Cache-Control");

  const auto account = store_->FindAccount("ann@example.com");
  EXPECT_THAT(account->addinKey, Not(HasSubstr(key)));
  EXPECT_EQ(mailwarden::keys::Open(account->addinKey, sealing_), corvanta::protocol::ParseAddinKey(key));

  // Never shown again; a new one replaces it.
  const http::Reply after = Get(browser_, "/cvx/key");
  EXPECT_EQ(ShownKey(after.body), "");
  EXPECT_THAT(after.body, HasSubstr("Your add-in signs its requests with your add-in key"));
  const std::string next = ShownKey(Post(browser_, "/cvx/key", "csrf=" + csrf).body);
  ASSERT_EQ(next.size(), 64u);
  EXPECT_NE(next, key);
  EXPECT_EQ(mailwarden::keys::Open(store_->FindAccount("ann@example.com")->addinKey, sealing_),
            corvanta::protocol::ParseAddinKey(next));
}

TEST_F(AddinKeyPage, OnlyTheFormWithTheSessionsTokenMakesAKey) {
  EXPECT_EQ(Post(browser_, "/cvx/key", "").status, 403);
  EXPECT_EQ(Post(browser_, "/cvx/key", "csrf=wrong").status, 403);
  Browser stranger;
  EXPECT_EQ(Get(stranger, "/cvx/key").status, 303);
  EXPECT_EQ(store_->FindAccount("ann@example.com")->addinKey, "");
}

}  // namespace
}  // namespace pages_test

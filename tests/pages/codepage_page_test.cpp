// The settings page "Code page": the sender chooses the Windows language the
// add-in writes in, and messages whose text no code page read for sure are
// read again in it.
#include "pages_world.h"
#include "protocol/encoding.h"

namespace pages_test {
namespace {

using ::testing::HasSubstr;

class CodepagePage : public PagesWorld {
 protected:
  void SetUp() override {
    ann_ = AddSender("ann@example.com");
    ASSERT_EQ(SignIn(browser_, "ann@example.com", kPassword).status, 303);
    // Sent from a Korean Windows before anyone set the code page: "회의"
    // could not be read, and what was received is kept beside the text.
    const store::Issued issued = Send("ann@example.com", "\uFFFD\uFFFD", {{"bob@example.org", "Bob"}});
    const std::string name = corvanta::protocol::s256to62(std::string("Bob"));
    store_->KeepReceived(issued.messageId,
                         "twoByte=1&subject=%0C8B8%0C0C7&toAddy=bob%40example%2Eorg%20&toName=" + name + "%20",
                         std::nullopt);
  }

  std::string Subject() { return store_->ListMessages({ann_.id, "", 0, 50, {}}).at(0).subject; }

  store::Account ann_;
  Browser browser_;
};

TEST_F(CodepagePage, SettingTheCodePageReadsEarlierMessagesAgain) {
  const http::Reply before = Get(browser_, "/cvx/codepage");
  ASSERT_EQ(before.status, 200);
  EXPECT_THAT(before.body, HasSubstr("<option value=\"1252\" selected>Western European (1252)</option>"));
  EXPECT_THAT(Get(browser_, "/cvx/").body, HasSubstr("<a href=\"/cvx/codepage\">Code page</a>"));

  const http::Reply set = Post(browser_, "/cvx/codepage", "csrf=" + Csrf(before.body) + "&codepage=949");
  ASSERT_EQ(set.status, 200);
  EXPECT_THAT(set.body, HasSubstr("Your code page is now 949 (Korean). 1 earlier messages were read in it again."));
  EXPECT_THAT(set.body, HasSubstr("<option value=\"949\" selected>Korean (949)</option>"));
  EXPECT_EQ(store_->FindAccount("ann@example.com")->codepage, 949);
  EXPECT_EQ(Subject(), "\uD68C\uC758");
  EXPECT_TRUE(store_->KeptTexts("ann@example.com").empty());
}

TEST_F(CodepagePage, OnlyAListedCodePageFromTheSessionsFormIsTaken) {
  const std::string csrf = Csrf(Get(browser_, "/cvx/codepage").body);
  for (const std::string& body : {"csrf=" + csrf + "&codepage=12345", "csrf=" + csrf + "&codepage=", "csrf=" + csrf}) {
    EXPECT_EQ(Post(browser_, "/cvx/codepage", body).status, 400) << body;
  }
  EXPECT_EQ(Post(browser_, "/cvx/codepage", "codepage=949").status, 403);
  EXPECT_EQ(store_->FindAccount("ann@example.com")->codepage, 1252);
  EXPECT_EQ(Subject(), "\uFFFD\uFFFD");
}

}  // namespace
}  // namespace pages_test

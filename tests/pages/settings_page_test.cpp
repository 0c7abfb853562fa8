// The settings page "Settings": a webhook that failed is shown with why, a
// paused one can be resumed, a sender reaches only their own webhooks, and
// the secret shown once is kept only sealed.
#include "pages_world.h"
#include "service/keys/sealing.h"
#include "service/notices/webhook_secret.h"

namespace pages_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class SettingsPage : public PagesWorld {
 protected:
  void SetUp() override {
    options_.sealingKey = mailwarden::keys::NewSealingKey();
    options_.webhooksAllowPrivate = false;
    pages_ = std::make_unique<pages::Pages>(*store_, options_);
    ann_ = AddSender("ann@example.com");
    AddSender("bea@example.com");
    ASSERT_EQ(SignIn(browser_, "ann@example.com", kPassword).status, 303);
  }

  http::Reply Do(const std::string& fields) {
    return Post(browser_, "/cvx/settings", "csrf=" + Csrf(Get(browser_, "/cvx/settings").body) + "&" + fields);
  }

  store::Account ann_;
  Browser browser_;
};

TEST_F(SettingsPage, AFailingOrPausedWebhookIsShownWithWhyAndCanBeResumed) {
  const http::Reply added = Do("do=add-webhook&url=https%3A%2F%2F8.8.8.8%2Fevents");
  ASSERT_EQ(added.status, 200) << added.body;
  const auto hooks = store_->ListWebhooks(ann_.id);
  ASSERT_EQ(hooks.size(), 1u);
  // The page shows the secret once; the store keeps it sealed, and it opens to what was shown.
  const auto shown = mailwarden::notices::OpenWebhookSecret(hooks[0].secret, *options_.sealingKey);
  ASSERT_TRUE(shown);
  EXPECT_THAT(added.body, HasSubstr("<code class=\"key\">" + *shown + "</code>"));
  EXPECT_THAT(Get(browser_, "/cvx/settings").body, Not(HasSubstr(*shown)));

  store::Delivery failed;
  failed.webhookId = hooks[0].id;
  store_->RetryDelivery(failed, now_, false, "the receiver answered 503", now_);
  EXPECT_THAT(Get(browser_, "/cvx/settings").body,
              HasSubstr("Failing</span> since 2026-12-12 08:40 UTC (the receiver answered 503)"));
  store_->PauseWebhook(hooks[0].id, "the receiver answered 503");
  const std::string paused = Get(browser_, "/cvx/settings").body;
  EXPECT_THAT(paused, HasSubstr("Paused</span>: it kept failing for a day (the receiver answered 503)"));
  EXPECT_THAT(paused, HasSubstr("value=\"resume-webhook\""));

  EXPECT_EQ(Do("do=resume-webhook&id=" + std::to_string(hooks[0].id)).status, 200);
  EXPECT_FALSE(store_->ListWebhooks(ann_.id)[0].paused);
  EXPECT_THAT(Get(browser_, "/cvx/settings").body, HasSubstr("Working</span>"));
}

TEST_F(SettingsPage, OnlyTheSendersOwnWebhooksAndSafeAddressesAreTaken) {
  const auto beas = store_->AddWebhook("bea@example.com", "https://8.8.4.4/in", "sb1:00", now_);
  ASSERT_TRUE(beas);
  for (const std::string& fields : {"do=remove-webhook&id=" + std::to_string(beas->id),
                                    "do=resume-webhook&id=" + std::to_string(beas->id), std::string("do=fly")}) {
    EXPECT_EQ(Do(fields).status, 400) << fields;
  }
  EXPECT_EQ(store_->ListWebhooks(beas->accountId).size(), 1u);
  // Loopback and the cloud's metadata address are no webhooks here.
  for (const char* url : {"http%3A%2F%2F127.0.0.1%2Fx", "http%3A%2F%2F169.254.169.254%2Flatest"}) {
    const http::Reply refused = Do(std::string("do=add-webhook&url=") + url);
    EXPECT_EQ(refused.status, 400) << url;
    EXPECT_THAT(refused.body, HasSubstr("an address of a private, loopback or local network")) << url;
  }
  EXPECT_TRUE(store_->ListWebhooks(ann_.id).empty());
  // Without the session's form token nothing changes.
  EXPECT_EQ(Post(browser_, "/cvx/settings", "do=notify&mail=off&zone=UTC").status, 403);
  EXPECT_EQ(store_->FindAccount("ann@example.com")->notify, "each");
}

}  // namespace
}  // namespace pages_test

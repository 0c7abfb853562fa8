// The add-in key end to end: the sender's add-in, with the key the service
// made, sends all three ways and asks for its credit; an outsider's add-in
// speaking in the sender's name, without the key, gets nothing and spends
// nothing, however many recipients it asks for.
#include <gtest/gtest.h>

#include "e2e_world.h"
#include "sending/dlg_progress.h"
#include "service/keys/account_keys.h"

namespace e2e {
namespace {

const std::string kNeedsKey = "This service needs your add-in key.";

class AddinKeyE2E : public E2E {
 protected:
  // The service, and the sender's account with a key the sender's add-in has.
  void BeginWithKey() {
    mailwarden::ServeOptions options = mailwarden::LoopbackOptions(0);
    options.service.sealingKey = sealing_;
    service = std::make_unique<testsupport::LocalService>(options);
    service->Store().AddAccount(kSender, 100, mailwarden::SystemNow());
    key_ = *mailwarden::keys::MakeAddinKey(service->Store(), sealing_, kSender);
    world.UseService(service->Host());
    world.SetString("ServiceKey", key_);
    world.AcceptedBefore();
    world.SetDword("opt_send", 1);
    world.SetSender("Ann Sender", kSender);
    world.Start();
    ASSERT_TRUE(world.addin->serviceKey);
  }

  mailwarden::keys::SealingKey sealing_ = mailwarden::keys::NewSealingKey();
  std::string key_;
};

TEST_F(AddinKeyE2E, TheSendersAddinSendsAllThreeWaysWithItsKey) {
  BeginWithKey();
  Send("Automatic", ThreeKinds(), "Hello there.");
  Send("Request receipt", ThreeKinds(), "Hello again.");
  Send("Guaranteed", ThreeKinds(), "The real message.");
  EXPECT_TRUE(Shown().empty()) << Shown().front();
  EXPECT_EQ(Read(MailStore::kOutbox).size(), 9u);
  EXPECT_EQ(service->Credit(kSender), 91);
  EXPECT_EQ(service->Stamps().size(), 9u);

  // The credit query is signed too.
  corvanta::dlgProgress progress(world.platform);
  EXPECT_EQ(world.addin->GetCredit(progress, kSender), 91);
  EXPECT_TRUE(Shown().empty()) << Shown().front();
}

TEST_F(AddinKeyE2E, AnOutsiderInTheSendersNameIsRefusedAndSpendsNothing) {
  BeginWithKey();

  // The outsider's own add-in, set up with the sender's name and address but
  // no key, asking straight for stamps for 100 recipients and uploading a
  // certified message with a link of its own.
  testsupport::SimWorld outsider;
  outsider.UseService(service->Host());
  outsider.AcceptedBefore();
  outsider.SetSender("Ann Sender", kSender);
  outsider.Start();
  std::vector<SimRecipient> hundred;
  // Short addresses and no names, so a hundred fit in one stamp request.
  for (int i = 0; i < 100; ++i) hundred.push_back(SimRecipient::Smtp("", "v" + std::to_string(i) + "@b.c"));
  auto item = outsider.outlook->NewMail("Please log in", hundred, "",
                                        "<p>Your account is locked: <a href=\"http://phish.example/\">log in</a></p>");
  outsider.outlook->OpenInspector(item);
  corvanta::dlgProgress progress(outsider.platform);
  progress.Show();
  auto safe = outsider.redemption.CreateSafeMailItem();
  safe->SetItem(item);
  const std::string stamps = outsider.addin->GetStamps(progress, *safe, "2026-12-11", "02:10:00");
  const std::string upload = outsider.addin->SendCertified(progress, *safe, "2026-12-11", "02:10:00");
  progress.CloseMe();
  EXPECT_EQ(stamps.rfind("qx;" + kNeedsKey, 0), 0u) << stamps;
  EXPECT_EQ(upload.rfind("qx;" + kNeedsKey, 0), 0u) << upload;

  // Pressing the add-in's buttons says why, and nothing leaves.
  outsider.outlook->OpenInspector(outsider.outlook->NewMail("Hi", ThreeKinds(), "Hello."))
      ->ClickTrackingButton("Automatic");
  ASSERT_FALSE(outsider.windowing.Messages().empty());
  EXPECT_EQ(outsider.windowing.Messages().front().text.rfind(kNeedsKey, 0), 0u)
      << outsider.windowing.Messages().front().text;
  EXPECT_TRUE(outsider.store->InFolder(MailStore::kOutbox).empty());

  EXPECT_EQ(service->Credit(kSender), 100);
  EXPECT_TRUE(service->Stamps().empty());

  // The sender's own add-in still sends.
  Send("Automatic", ThreeKinds(), "Hello there.");
  EXPECT_TRUE(Shown().empty()) << Shown().front();
  EXPECT_EQ(service->Credit(kSender), 97);
}

}  // namespace
}  // namespace e2e

#pragma once
// The add-in started on the stand-in desktop, talking to mailwarden on
// 127.0.0.1, with the user clicking the "Tracking" buttons of an item window.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/sim/mail_store.h"
#include "support/local_service.h"
#include "support/sim_fixture.h"

namespace e2e {

using host::sim::MailStore;
using host::sim::RecipientKind;
using host::sim::SimRecipient;

inline const std::string kSender = "ann@example.org";

inline std::vector<SimRecipient> ThreeKinds() {
  return {SimRecipient::Smtp("Bob To", "bob@example.org", RecipientKind::To),
          SimRecipient::Smtp("Cy Cc", "cy@example.org", RecipientKind::Cc),
          SimRecipient::Smtp("Di Bcc", "di@example.org", RecipientKind::Bcc)};
}

class E2E : public ::testing::Test {
 protected:
  // Starts the service with this credit per sender, and the add-in.
  void Begin(int startingCredit, int optSend = 0) {
    service = std::make_unique<testsupport::LocalService>(startingCredit);
    world.UseService(service->Host());
    world.AcceptedBefore();
    world.SetDword("opt_send", static_cast<std::uint32_t>(optSend));
    world.SetSender("Ann Sender", kSender);
    world.Start();
    ASSERT_TRUE(Shown().empty()) << Shown().front();
  }

  void TearDown() override {
    if (service) service->Stop();
  }

  // Composes a message, opens it in an item window and picks a "Tracking" button.
  std::shared_ptr<host::sim::SimMailItem> Send(const std::string& button, const std::vector<SimRecipient>& recipients,
                                               const std::string& body, const std::string& html = {}) {
    auto item = world.outlook->NewMail("Quarterly figures", recipients, body, html);
    auto inspector = world.outlook->OpenInspector(item);
    inspector->ClickTrackingButton(button);
    return item;
  }

  std::vector<std::string> Shown() const {
    std::vector<std::string> texts;
    for (const auto& message : world.windowing.Messages()) texts.push_back(message.text);
    return texts;
  }

  std::vector<host::sim::ParsedMail> Read(const std::string& folder) const {
    std::vector<host::sim::ParsedMail> mails;
    for (const auto& stored : world.store->InFolder(folder)) mails.push_back(host::sim::ReadEml(stored.path));
    return mails;
  }

  // The stamp the service issued for this recipient.
  std::string StampOf(const std::string& recipient) const { return service->StampOf(recipient); }
  std::vector<std::string> EventsOf(const std::string& stamp) const { return service->EventsOf(stamp); }

  // What a recipient's mail program or browser gets for an address in the mail.
  std::string Fetch(const std::string& url) { return world.internet.CreateTransfer()->OpenURL(url); }

  std::string Between(const std::string& text, const std::string& before, const std::string& after) const {
    const auto start = text.find(before);
    if (start == std::string::npos) return {};
    const auto end = text.find(after, start + before.size());
    if (end == std::string::npos) return {};
    return text.substr(start + before.size(), end - start - before.size());
  }

  testsupport::SimWorld world;
  std::unique_ptr<testsupport::LocalService> service;
};

}  // namespace e2e

#pragma once
// The started add-in on the stand-in desktop, talking to a server that
// answers as mailwarden does until a test makes it misbehave, and a
// composed message open in an item window.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/sim/mail_store.h"
#include "protocol/service.h"
#include "service/service.h"
#include "service/status.h"
#include "service/store/store.h"
#include "support/faulty_server.h"
#include "support/sim_fixture.h"

namespace faults {

using host::sim::MailStore;
using host::sim::RecipientKind;
using host::sim::SimRecipient;
using testsupport::RawAnswer;
using testsupport::RawRequest;

inline const std::string kSender = "ann@example.org";
inline constexpr int kStartingCredit = 100;
inline const std::string kConnectionTimeout =
    "Connection timeout! Please check your Internet connection and try again. #7";

inline std::vector<SimRecipient> ThreeKinds() {
  return {SimRecipient::Smtp("Bob To", "bob@example.org", RecipientKind::To),
          SimRecipient::Smtp("Cy Cc", "cy@example.org", RecipientKind::Cc),
          SimRecipient::Smtp("Di Bcc", "di@example.org", RecipientKind::Bcc)};
}

inline RawAnswer Text(std::string body, int status = 200) {
  RawAnswer answer;
  answer.status = status;
  answer.body = std::move(body);
  return answer;
}

// mailwarden's routes on a database in memory, answering without a socket.
struct EmbeddedService {
  EmbeddedService() {
    mailwarden::ServiceOptions options;
    options.newSenderCredit = kStartingCredit;
    service = std::make_unique<mailwarden::Service>(*store, options, -1);
  }
  int Credit(const std::string& sender) const {
    return store->CreditLeft(sender, mailwarden::SystemNow()).value_or(kStartingCredit);
  }
  std::size_t Stamps() { return mailwarden::Status(service->context()).at("stamps").size(); }

  std::unique_ptr<mailwarden::store::Store> store = mailwarden::store::OpenStore("sqlite::memory:");
  std::unique_ptr<mailwarden::Service> service;
};

// The service's three requests answered by mailwarden's own rules.
inline RawAnswer Behaved(EmbeddedService& embedded, const RawRequest& request) {
  namespace protocol = corvanta::protocol;
  bool known =
      (request.method == "GET" && (request.path == protocol::kCreditPath || request.path == protocol::kStampPath)) ||
      (request.method == "POST" && request.path == protocol::kUploadPath);
  if (!known) return Text("", 404);
  mailwarden::http::Request asked;
  asked.method = request.method;
  asked.path = request.path;
  asked.query = request.query;
  asked.body = request.body;
  asked.ip = "127.0.0.1";
  mailwarden::http::Reply reply = embedded.service->Handle(asked);
  return Text(reply.body, reply.status);
}

class FaultWorld : public ::testing::Test {
 protected:
  FaultWorld() {
    world.UseService(server.HostPort());
    world.AcceptedBefore();
    world.SetDword("opt_send", 0);
    world.SetSender("Ann Sender", kSender);
  }

  void SetUp() override {
    world.Start();
    ASSERT_TRUE(Shown().empty()) << Shown().front();
    item = world.outlook->NewMail("Quarterly figures", ThreeKinds(), "Hello there.");
    inspector = world.outlook->OpenInspector(item);
  }

  // The server answers well again from the next request on.
  void Behave() {
    server.ListenAgain();
    server.SetResponder([this](const RawRequest& request) { return Behaved(service, request); });
  }

  void Click(const std::string& button) { inspector->ClickTrackingButton(button); }

  // "About", then "View credit" in the About dialog.
  void ViewCredit() {
    world.windowing.QueueDialog("dlgAbout", host::sim::Press("credit"));
    Click("About");
  }

  std::vector<std::string> Shown() const {
    std::vector<std::string> texts;
    for (const auto& message : world.windowing.Messages()) texts.push_back(message.text);
    return texts;
  }

  std::size_t In(const std::string& folder) const { return world.store->InFolder(folder).size(); }

  std::size_t RequestsTo(const std::string& path) const {
    std::size_t count = 0;
    for (const auto& request : server.Requests()) count += request.path == path ? 1 : 0;
    return count;
  }

  // Nothing left, the composed message untouched in its window and in Drafts
  // (with nothing beside it), and no progress dialog left on the screen.
  void ExpectNothingLeftAndTheMessageInPlace() {
    EXPECT_EQ(In(MailStore::kOutbox), 0u);
    EXPECT_EQ(In(MailStore::kSentItems), 0u);
    EXPECT_FALSE(item->stale());
    EXPECT_EQ(item->closeCount(), 0);
    EXPECT_EQ(world.outlook->activeInspector(), inspector);
    EXPECT_EQ(world.outlook->folder(MailStore::kDrafts)->Subjects(), std::vector<std::string>{"Quarterly figures"});
    EXPECT_EQ(world.windowing.ShownModeless("dlgProgress"), nullptr);
  }

  // The same message, sent again with the same button once the server
  // behaves, leaves for every recipient without a word to the user.
  void ExpectTheNextSendWorks(const std::string& button, int creditBefore) {
    Behave();
    world.windowing.ClearRecords();
    Click(button);
    EXPECT_TRUE(Shown().empty()) << Shown().front();
    EXPECT_EQ(In(MailStore::kOutbox), 3u);
    EXPECT_EQ(In(MailStore::kSentItems), button == "Guaranteed" ? 3u : 0u);
    EXPECT_TRUE(item->stale());
    EXPECT_EQ(world.outlook->folder(MailStore::kDrafts)->count(), 0u);
    EXPECT_EQ(service.Credit(kSender), creditBefore - 3);
    EXPECT_EQ(world.windowing.ShownModeless("dlgProgress"), nullptr);
  }

  EmbeddedService service;
  testsupport::FaultyServer server{[this](const RawRequest& request) { return Behaved(service, request); }};
  testsupport::SimWorld world;
  std::shared_ptr<host::sim::SimMailItem> item;
  std::shared_ptr<host::sim::SimInspector> inspector;
};

}  // namespace faults

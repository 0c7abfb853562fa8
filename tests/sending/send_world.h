#pragma once
// A stand-in desktop with the add-in object set up as start-up leaves it,
// talking to a loopback server that gives fixed replies, and a composed
// message open in the active item window.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "host/sim/desktop.h"
#include "support/loopback_server.h"
#include "support/sim_fixture.h"

namespace sendtest {

using host::sim::RecipientKind;
using host::sim::SimRecipient;

inline const char* const kStampPath = "/p/b01/dunla.php";
inline const char* const kUploadPath = "/p/b01/forsel.php";
inline const char* const kCreditPath = "/p/b01/marlo.php";

inline testsupport::Reply Text(std::string body) {
  testsupport::Reply reply;
  reply.body = std::move(body);
  return reply;
}

// Three recipients, one of each kind.
inline std::vector<SimRecipient> ThreeKinds() {
  return {SimRecipient::Smtp("Bob To", "bob@example.org", RecipientKind::To),
          SimRecipient::Smtp("Cy Cc", "cy@example.org", RecipientKind::Cc),
          SimRecipient::Smtp("Di Bcc", "di@example.org", RecipientKind::Bcc)};
}

class SendWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    world.SetSender("Ann Sender", "ann@example.org");
    world.clock.Fix({2003, 6, 25, 17, 5, 9});
    addin.cvxRegPath = testsupport::kCvxRegPath;
    addin.regPath = "Software\\Microsoft\\Office\\9.0\\Outlook\\Options\\Mail";
    addin.goOutlook = world.outlook;
    addin.Utils = world.redemption.CreateMAPIUtils();
    addin.serviceHost = server.HostPort();
    addin.SizeLimit = 20000;
    addin.opt_send = 0;
  }

  // A composed message saved in Drafts and open in the active item window.
  std::shared_ptr<host::sim::SimMailItem> Compose(const std::vector<SimRecipient>& recipients,
                                                  const std::string& body = "Hello there.",
                                                  const std::string& html = {},
                                                  const std::string& subject = "Quarterly figures") {
    auto item = world.outlook->NewMail(subject, recipients, body, html);
    world.outlook->OpenInspector(item);
    return item;
  }

  void ServeCredit(const std::string& reply) { server.Get(kCreditPath, Text(reply)); }
  void ServeStamps(const std::string& reply) { server.Get(kStampPath, Text(reply)); }
  void ServeUpload(const std::string& reply) { server.Post(kUploadPath, Text(reply)); }

  std::vector<std::string> Shown() const {
    std::vector<std::string> texts;
    for (const auto& message : world.windowing.Messages()) texts.push_back(message.text);
    return texts;
  }

  std::vector<testsupport::LoggedRequest> RequestsTo(const std::string& path) const {
    std::vector<testsupport::LoggedRequest> found;
    for (const auto& request : server.Requests()) {
      if (request.path == path) found.push_back(request);
    }
    return found;
  }

  std::vector<host::sim::StoredMessage> In(const std::string& folder) const { return world.store->InFolder(folder); }
  // The subjects of the copies the add-in filed in Sent Items itself (the
  // sent messages Outlook files there come apart, through its spooler).
  std::vector<std::string> Kept() const {
    std::vector<std::string> subjects;
    for (const auto& kept : In(host::sim::MailStore::kSentItems)) subjects.push_back(kept.message.subject);
    return subjects;
  }

  // The progress dialog's bar maximum as the dialog was first shown.
  float ProgressMax() const {
    for (const auto& dialog : world.windowing.Dialogs()) {
      if (dialog.form != "dlgProgress") continue;
      for (const auto& control : dialog.controls) {
        if (control.name == "ctlProgress") return control.max;
      }
    }
    return -1;
  }

  testsupport::SimWorld world;
  testsupport::LoopbackServer server;
  corvanta::Connect& addin = *world.addin;
};

}  // namespace sendtest

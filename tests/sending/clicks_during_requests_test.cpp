// While a send waits for the service, window events keep running, so the
// user can click a send button again; that click is ignored and the message
// goes out once. The service holds its reply until the clicks have run.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>

#include "host/sim/mail_store.h"
#include "send_world.h"

namespace sendtest {
namespace {

using host::sim::MailStore;

struct Case {
  const char* name;
  const char* button;  // the send the user started
  const char* path;    // the request during which the user clicks again
};

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

class ClicksDuringARequest : public SendWorld, public ::testing::WithParamInterface<Case> {
 protected:
  void Click(const std::string& button) {
    bool cancelDefault = false;
    if (button == "Automatic") addin.autoButton_Click(nullptr, cancelDefault);
    if (button == "Request receipt") addin.requButton_Click(nullptr, cancelDefault);
    if (button == "Guaranteed") addin.guarButton_Click(nullptr, cancelDefault);
  }

  // The reply for path, given once the user's clicks, posted as the request
  // arrives, have run on the add-in's thread. The wait's bound only ends a
  // hang: the transfers' clock stands still, so the request waits as long.
  testsupport::Handler ClickThenAnswer(std::string reply) {
    return [this, reply](const testsupport::LoggedRequest&) {
      world.windowing.ScheduleUser([this] {
        {
          std::lock_guard lock(mutex);
          clickedBeforeTheReply = !answered;
        }
        for (const char* button : {"Automatic", "Request receipt", "Guaranteed"}) Click(button);
        std::lock_guard lock(mutex);
        clicked = true;
        ran.notify_all();
      });
      std::unique_lock lock(mutex);
      ran.wait_for(lock, std::chrono::seconds(60), [this] { return clicked; });
      answered = true;
      return Text(reply);
    };
  }

  std::mutex mutex;
  std::condition_variable ran;
  // Shared with the server's thread: under mutex.
  bool clicked = false;
  bool answered = false;
  bool clickedBeforeTheReply = false;
};

TEST_P(ClicksDuringARequest, AreIgnoredAndTheMessageGoesOnce) {
  const Case& c = GetParam();
  auto item = Compose(ThreeKinds());
  const auto serve = [&](const char* path, const std::string& reply) {
    if (std::string(path) == c.path) {
      if (std::string(path) == kUploadPath)
        server.Post(path, ClickThenAnswer(reply));
      else
        server.Get(path, ClickThenAnswer(reply));
    } else if (std::string(path) == kUploadPath) {
      ServeUpload(reply);
    } else {
      server.Get(path, Text(reply));
    }
  };
  serve(kCreditPath, "qo;9");
  serve(kStampPath, "qo;s1 s2 s3");
  serve(kUploadPath, "qo;g1 g2 g3");

  Click(c.button);

  {
    std::lock_guard lock(mutex);
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(clickedBeforeTheReply) << "the clicks waited for the reply";
  }
  EXPECT_TRUE(Shown().empty()) << Shown().front();
  EXPECT_EQ(RequestsTo(kCreditPath).size(), 1u);
  const bool guaranteed = std::string(c.button) == "Guaranteed";
  EXPECT_EQ(RequestsTo(kStampPath).size(), guaranteed ? 0u : 1u);
  EXPECT_EQ(RequestsTo(kUploadPath).size(), guaranteed ? 1u : 0u);
  EXPECT_EQ(In(MailStore::kOutbox).size(), 3u);
  EXPECT_EQ(In(MailStore::kSentItems).size(), guaranteed ? 3u : 0u);
  EXPECT_TRUE(item->stale());  // the composed message went, once
}

INSTANTIATE_TEST_SUITE_P(Sends, ClicksDuringARequest,
                         ::testing::Values(Case{"AutomaticDuringTheCreditQuery", "Automatic", kCreditPath},
                                           Case{"AutomaticDuringTheStampRequest", "Automatic", kStampPath},
                                           Case{"ReceiptDuringTheCreditQuery", "Request receipt", kCreditPath},
                                           Case{"GuaranteedDuringTheCreditQuery", "Guaranteed", kCreditPath},
                                           Case{"GuaranteedDuringTheUpload", "Guaranteed", kUploadPath}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

}  // namespace
}  // namespace sendtest

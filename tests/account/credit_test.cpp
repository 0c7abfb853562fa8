// The credit query against a loopback service: the request, the reading of
// the reply, and each way it can fail.
#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "protocol/encoding.h"
#include "protocol/service.h"
#include "sending/dlg_progress.h"
#include "support/loopback_server.h"
#include "support/sim_fixture.h"

namespace {

using corvanta::dlgProgress;

const std::string kDefault = "An error occured while retrieving credit info(Error#1)";
const std::string kSupport =
    std::string("\r\nPlease contact us with the error# at ") + corvanta::protocol::kSupportAddress;
const std::string kTimeout = "Connection timeout! Please check your Internet connection and try again. #7";

class CreditFixture {
 protected:
  CreditFixture() {
    world.addin->serviceHost = server.HostPort();
    world.addin->cvxRegPath = testsupport::kCvxRegPath;
  }
  void Answer(const std::string& reply) {
    server.Get(corvanta::protocol::kCreditPath, testsupport::Reply{.body = reply});
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& m : world.windowing.Messages()) texts.push_back(m.text);
    return texts;
  }

  testsupport::LoopbackServer server;
  testsupport::SimWorld world;
  dlgProgress progress{world.platform};
};

struct CreditCase {
  std::string reply;
  std::int32_t credit;
  std::optional<std::string> shown = std::nullopt;
};

void PrintTo(const CreditCase& c, std::ostream* os) {
  *os << '"' << c.reply << '"';
}

class CreditReplyTest : public CreditFixture, public ::testing::TestWithParam<CreditCase> {};

TEST_P(CreditReplyTest, ReadsTheCountOrReports) {
  Answer(GetParam().reply);
  EXPECT_EQ(world.addin->GetCredit(progress, "ann@example.org"), GetParam().credit);
  std::vector<std::string> expected;
  if (GetParam().shown) expected.push_back(*GetParam().shown);
  EXPECT_EQ(Texts(), expected);
}

constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
const std::string kError41 = "An error was occured! #41";

INSTANTIATE_TEST_SUITE_P(
    Replies, CreditReplyTest,
    ::testing::Values(CreditCase{"qo;12", 12}, CreditCase{"qo;0", 0}, CreditCase{"qo;", 0},
                      CreditCase{"qo;7 credits", 7}, CreditCase{"qo; 1 2\n", 12}, CreditCase{"qo;\t5\r\n", 5},
                      CreditCase{"qo;&H1F", 31}, CreditCase{"qo;&O17", 15}, CreditCase{"qo;2.5", 2},
                      CreditCase{"qo;3.5", 4}, CreditCase{"qo;2.51", 3}, CreditCase{"qo;1e2", 100},
                      CreditCase{"qo;none", 0},
                      // a count below 0 is no credit, never the "already reported" -1
                      CreditCase{"qo;-5", 0}, CreditCase{"qo;-1", 0}, CreditCase{"qo;-2.5", 0},
                      // beyond the 32-bit range: the query's error, with its step
                      CreditCase{"qo;2147483647", kMax}, CreditCase{"qo;2147483647.5", -1, kError41},
                      CreditCase{"qo;99999999999", -1, kError41}, CreditCase{"qo;-99999999999", -1, kError41},
                      CreditCase{"qo;-2147483648", 0}, CreditCase{"qo;1e400", -1, kError41},
                      // failures React reports (or not)
                      CreditCase{"qx;not0", -1}, CreditCase{"qx;Unknown sender", -1, "Unknown sender"},
                      CreditCase{"qx;ab", -1, "ab"}, CreditCase{"", -1, kDefault + kSupport},
                      CreditCase{"qx;", -1, kDefault + kSupport}, CreditCase{"qx;1", -1, kDefault + kSupport},
                      CreditCase{"12", -1, kDefault + kSupport}, CreditCase{"Error page", -1, "or page"}));

class CreditTest : public CreditFixture, public ::testing::Test {};

TEST_F(CreditTest, AsksWithTheEscapedAddressAndItsHash) {
  Answer("qo;3");
  ASSERT_EQ(world.addin->GetCredit(progress, "ann.o'neil@example.org"), 3);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].path, corvanta::protocol::kCreditPath);
  const std::string prefix = "email=ann%2Eo%27neil%40example%2Eorg&hash=";
  ASSERT_EQ(requests[0].query.substr(0, prefix.size()), prefix);
  const std::string hash = requests[0].query.substr(prefix.size());
  EXPECT_EQ(hash.size(), 10u);
  // Hashed over the address as it is, not as escaped.
  EXPECT_TRUE(corvanta::protocol::CheckHash("ann.o'neil@example.org", hash)) << hash;
}

TEST_F(CreditTest, ShowsItsProgressWithoutClosingTheDialog) {
  Answer("qo;3");
  progress.SetMax(1);
  world.addin->GetCredit(progress, "ann@example.org");
  ASSERT_EQ(world.windowing.Dialogs().size(), 1u);
  EXPECT_FALSE(world.windowing.Dialogs()[0].modal);
  EXPECT_EQ(world.windowing.CaptionsOf("dlgProgress", "lblProgress"),
            std::vector<std::string>{"Retrieving credit info..."});
  EXPECT_EQ(progress.Value(), 1.0f);
  EXPECT_TRUE(progress.Visible());  // the caller closes it
}

TEST_F(CreditTest, NoServerIsAConnectionTimeout) {
  world.addin->serviceHost = "127.0.0.1:" + std::to_string(testsupport::LoopbackServer::UnusedPort());
  EXPECT_EQ(world.addin->GetCredit(progress, "ann@example.org"), -1);
  EXPECT_EQ(Texts(), std::vector<std::string>{kTimeout});
  EXPECT_EQ(progress.Value(), 0.0f);  // stopped before the progress step
}

TEST_F(CreditTest, SlowServerBeyondTheTimeOutIsAConnectionTimeout) {
  // The answer comes after the control's time-out has passed (and, when it
  // does not give up, only as the server stops).
  server.Get(corvanta::protocol::kCreditPath, [this](const testsupport::LoggedRequest&) {
    world.transferClock.Advance(std::chrono::seconds(2));
    return testsupport::Reply{.body = "qo;9", .delay = testsupport::kUntilStopped};
  });
  // The control's own time-out bounds the blocking request.
  progress.Inet1().SetRequestTimeout(1);
  EXPECT_EQ(world.addin->GetCredit(progress, "ann@example.org"), -1);
  EXPECT_EQ(Texts(), std::vector<std::string>{kTimeout});
}

TEST_F(CreditTest, DialogClosedByTheUserIsShownAgain) {
  Answer("qo;4");
  progress.Show();
  world.windowing.ClickModeless("dlgProgress", "Close");
  EXPECT_EQ(world.addin->GetCredit(progress, "ann@example.org"), 4);
  EXPECT_TRUE(progress.Visible());
  EXPECT_EQ(world.windowing.Dialogs().size(), 2u);
}

}  // namespace

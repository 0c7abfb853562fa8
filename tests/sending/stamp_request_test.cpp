// The stamp request as the service receives it, its own refusals and its failures.
#include <gtest/gtest.h>

#include "protocol/encoding.h"
#include "send_world.h"
#include "sending/dlg_progress.h"

namespace sendtest {
namespace {

using host::sim::SimRecipient;

class StampRequest : public SendWorld {
 protected:
  // GetStamps on the active message, through a shown progress dialog.
  std::string Request() {
    addin.LoadCurrentUser();
    corvanta::dlgProgress dlg(world.platform);
    dlg.Show();
    auto safe = world.redemption.CreateSafeMailItem();
    safe->SetItem(world.outlook->activeInspector()->CurrentItem());
    std::string reply = addin.GetStamps(dlg, *safe, "2003-06-25", "17:05:09");
    progressAfter = dlg.Value();
    dlg.CloseMe();
    return reply;
  }

  std::string QuerySent() {
    auto requests = RequestsTo(kStampPath);
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? std::string() : requests.front().query;
  }

  float progressAfter = -1;
};

TEST_F(StampRequest, QueryHasTheKeysInOrderEscapedAndAHashOverThePlainValues) {
  // The second recipient has no SMTP address: its display name stands in.
  Compose({SimRecipient::Smtp("Bob", "bob@example.org"), SimRecipient::Exchange("Cy Cc", "/o=Org/cn=cy", "")}, "Body",
          {}, "Q3 figures: 10% up");
  ServeStamps("qo;s1 s2");

  EXPECT_EQ(Request(), "qo;s1 s2");
  const std::string query = QuerySent();
  const std::string expectedBeforeHash =
      "fromAddy=ann%40example%2Eorg"
      "&toAddy=bob%40example%2Eorg%20Cy%20Cc%20"
      "&toName=BEBnBa%20BFBxA6BFBb%20"
      "&subject=Q3%20figures%3A%2010%25%20up"
      "&curDate=2003%2D06%2D25"
      "&curTime=17%3A05%3A09"
      "&hash=";
  ASSERT_EQ(query.size(), expectedBeforeHash.size() + 10) << query;
  EXPECT_EQ(query.substr(0, expectedBeforeHash.size()), expectedBeforeHash);
  const std::string hash = query.substr(expectedBeforeHash.size());
  EXPECT_TRUE(
      corvanta::protocol::CheckHash("ann@example.org"
                                    "bob@example.org Cy Cc "
                                    "Q3 figures: 10% up"
                                    "2003-06-25"
                                    "17:05:09",
                                    hash))
      << hash;
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(progressAfter, 1);
  EXPECT_EQ(world.windowing.CaptionsOf("dlgProgress", "lblProgress"), std::vector<std::string>{"Receiving stamp..."});
}

TEST_F(StampRequest, AnyReplyIsHandedBackAsItCame) {
  Compose({SimRecipient::Smtp("Bob", "bob@example.org")});
  for (const std::string reply : {"qx;Unknown sender", "<html>Internal error</html>", "", "qo;"}) {
    ServeStamps(reply);
    EXPECT_EQ(Request(), reply);
  }
  EXPECT_TRUE(Shown().empty());
}

struct Refusal {
  std::vector<SimRecipient> recipients;
  std::string result;
};

class StampRequestRefusal : public StampRequest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(StampRequestRefusal, IsReturnedWithoutAskingTheService) {
  Compose(GetParam().recipients);
  ServeStamps("qo;never");
  EXPECT_EQ(Request(), GetParam().result);
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_TRUE(Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Recipients, StampRequestRefusal,
                         ::testing::Values(Refusal{{}, "qx;No recipient addresses found"},
                                           Refusal{{SimRecipient::Smtp("A", "a@example.org"),
                                                    SimRecipient::Exchange("B", "/o=b", ""),
                                                    SimRecipient::Exchange("", "/o=nobody", "")},
                                                   "qx;Empty recipient address. (3)"}));

TEST_F(StampRequest, QueryOfExactly2000CharactersIsSentAndOneMoreIsRefused) {
  auto item = Compose({SimRecipient::Smtp("Bob", "bob@example.org")}, "Body", {}, "");
  ServeStamps("qo;s1");
  ASSERT_EQ(Request(), "qo;s1");
  const std::string emptySubject = QuerySent();
  EXPECT_NE(emptySubject.find("&subject=&curDate="), std::string::npos);
  ASSERT_LT(emptySubject.size(), 2000u);

  server.ClearRequests();
  item->SetSubject(std::string(2000 - emptySubject.size(), 'x'));
  EXPECT_EQ(Request(), "qo;s1");
  EXPECT_EQ(QuerySent().size(), 2000u);

  server.ClearRequests();
  item->SetSubject(std::string(2001 - emptySubject.size(), 'x'));
  EXPECT_EQ(Request(), "qx;Subject or the email address(es) is too long.");
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_TRUE(Shown().empty());
}

TEST_F(StampRequest, ServiceNotReachableIsReportedWithStep7AndNot0) {
  Compose({SimRecipient::Smtp("Bob", "bob@example.org")});
  addin.serviceHost = "127.0.0.1:" + std::to_string(testsupport::LoopbackServer::UnusedPort());
  EXPECT_EQ(Request(), "qx;not0");
  EXPECT_EQ(Shown(),
            std::vector<std::string>{"Connection timeout! Please check your Internet connection and try again. #7"});
}

TEST_F(StampRequest, FailingToReadTheRecipientsIsReportedWithStep60) {
  Compose({SimRecipient::Exchange("Bob", "/o=bob", "bob@example.org")});
  world.redemption.faults().FailAlways("SafeRecipient.Fields");
  EXPECT_EQ(Request(), "qx;not0");
  EXPECT_EQ(Shown(), std::vector<std::string>{"An error was occured! #60"});
  EXPECT_EQ(server.RequestCount(), 0u);
}

}  // namespace
}  // namespace sendtest

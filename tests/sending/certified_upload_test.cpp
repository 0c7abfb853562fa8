// The certified upload as the service receives it, its size bound and its failures.
#include <gtest/gtest.h>

#include "protocol/encoding.h"
#include "send_world.h"
#include "sending/dlg_progress.h"

namespace sendtest {
namespace {

using host::sim::SimRecipient;

class CertifiedUpload : public SendWorld {
 protected:
  std::string Upload() {
    addin.LoadCurrentUser();
    corvanta::dlgProgress dlg(world.platform);
    dlg.Show();
    auto safe = world.redemption.CreateSafeMailItem();
    safe->SetItem(world.outlook->activeInspector()->CurrentItem());
    std::string reply = addin.SendCertified(dlg, *safe, "2003-06-25", "17:05:09");
    progressAfter = dlg.Value();
    dlg.CloseMe();
    return reply;
  }

  testsupport::LoggedRequest Posted() {
    auto requests = RequestsTo(kUploadPath);
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? testsupport::LoggedRequest{} : requests.front();
  }

  float progressAfter = -1;
};

const std::string kFields =
    "fromAddy=ann%40example%2Eorg"
    "&fromName=Ann%20Sender"
    "&toAddy=bob%40example%2Eorg%20Cy%20Cc%20"
    "&toName=BEBnBa%20BFBxA6BFBb%20"
    "&subject=Q3%20figures%3A%2010%25%20up"
    "&curDate=2003%2D06%2D25"
    "&curTime=17%3A05%3A09";
const std::string kHashInput =
    "ann@example.org"
    "Ann Sender"
    "bob@example.org Cy Cc "
    "BEBnBa BFBxA6BFBb "
    "Q3 figures: 10% up"
    "2003-06-25"
    "17:05:09";

struct ContentCase {
  std::string body, html;
  std::string content;  // as escaped in the form
  std::string isHTML;
};

class CertifiedUploadForm : public CertifiedUpload, public ::testing::WithParamInterface<ContentCase> {};

TEST_P(CertifiedUploadForm, HasTheKeysInOrderTheContentAndAHashWithoutIt) {
  Compose({SimRecipient::Smtp("Bob", "bob@example.org"), SimRecipient::Exchange("Cy Cc", "/o=Org/cn=cy", "")},
          GetParam().body, GetParam().html, "Q3 figures: 10% up");
  ServeUpload("qo;g1 g2");

  EXPECT_EQ(Upload(), "qo;g1 g2");
  const testsupport::LoggedRequest request = Posted();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.query, "");
  const std::string before = kFields + "&content=" + GetParam().content + "&isHTML=" + GetParam().isHTML + "&hash=";
  ASSERT_EQ(request.body.size(), before.size() + 10) << request.body;
  EXPECT_EQ(request.body.substr(0, before.size()), before);
  EXPECT_TRUE(corvanta::protocol::CheckHash(kHashInput, request.body.substr(before.size())));
  auto contentType = request.headers.find("Content-Type");
  ASSERT_NE(contentType, request.headers.end());
  EXPECT_EQ(contentType->second, "application/x-www-form-urlencoded");
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(progressAfter, 3);
  EXPECT_EQ(world.windowing.CaptionsOf("dlgProgress", "lblProgress"),
            (std::vector<std::string>{"Receiving stamp...", "Sending..."}));
}

INSTANTIATE_TEST_SUITE_P(Bodies, CertifiedUploadForm,
                         ::testing::Values(ContentCase{"Hello there.\r\nBye", "", "Hello%20there%2E%0D%0ABye", "0"},
                                           ContentCase{"ignored", "<p>Hi & bye</p>", "%3Cp%3EHi%20%26%20bye%3C%2Fp%3E",
                                                       "1"}));

TEST_F(CertifiedUpload, BodyOfExactlySizeLimitIsSentAndOneMoreIsRefused) {
  Compose({SimRecipient::Smtp("Bob", "bob@example.org")}, "A body of some length, with marks: <>&.");
  ServeUpload("qo;g1");
  ASSERT_EQ(Upload(), "qo;g1");
  const std::size_t length = Posted().body.size();

  server.ClearRequests();
  addin.SizeLimit = static_cast<std::int32_t>(length);
  EXPECT_EQ(Upload(), "qo;g1");
  EXPECT_EQ(Posted().body.size(), length);

  server.ClearRequests();
  addin.SizeLimit = static_cast<std::int32_t>(length - 1);
  EXPECT_EQ(Upload(), "qx;The email is too big. (" + std::to_string(length) + ">" + std::to_string(length - 1) + ")");
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_TRUE(Shown().empty());
}

TEST_F(CertifiedUpload, OwnRefusalsAreReturnedWithoutAskingTheService) {
  ServeUpload("qo;never");
  Compose({});
  EXPECT_EQ(Upload(), "qx;No recipient addresses found");
  Compose({SimRecipient::Smtp("A", "a@example.org"), SimRecipient::Exchange("", "/o=nobody", "")});
  EXPECT_EQ(Upload(), "qx;Empty recipient address. (2)");
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_TRUE(Shown().empty());
}

TEST_F(CertifiedUpload, AnyReplyIsHandedBackAsItCame) {
  Compose({SimRecipient::Smtp("Bob", "bob@example.org")});
  for (const std::string reply : {"qx;Unknown sender", "<html>Internal error</html>", ""}) {
    ServeUpload(reply);
    EXPECT_EQ(Upload(), reply);
  }
  EXPECT_TRUE(Shown().empty());
}

TEST_F(CertifiedUpload, ServiceNotReachableGivesTheTransferErrorAsAReply) {
  Compose({SimRecipient::Smtp("Bob", "bob@example.org")});
  addin.serviceHost = "127.0.0.1:" + std::to_string(testsupport::LoopbackServer::UnusedPort());
  const std::string reply = Upload();
  EXPECT_EQ(reply.substr(0, 3), "qx;");
  EXPECT_NE(reply, "qx;not0");
  EXPECT_GT(reply.size(), 5u);
  EXPECT_TRUE(Shown().empty());
}

}  // namespace
}  // namespace sendtest

// The add-in key's signature on the three requests that speak for the sender:
// without a key each is exactly what it was; with one, the same text followed
// by the time and the HMAC, and the limits count only the unsigned part.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "protocol/request_signature.h"
#include "send_world.h"
#include "sending/dlg_progress.h"

namespace sendtest {
namespace {

using corvanta::protocol::AddinKey;
using host::sim::SimRecipient;

const AddinKey kKey =
    *corvanta::protocol::ParseAddinKey("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
constexpr std::int64_t kNow = 1'781'000'000;

class RequestSigning : public SendWorld {
 public:
  void SetUp() override {
    SendWorld::SetUp();
    world.clock.FixUtc(kNow);
    addin.LoadCurrentUser();
    ServeStamps("qo;s1");
    ServeUpload("qo;g1");
    ServeCredit("qo;5");
  }

  // Each way: the request made on the active message, its reply as the caller gets it.
  std::string Stamps() {
    corvanta::dlgProgress dlg(world.platform);
    dlg.Show();
    auto safe = world.redemption.CreateSafeMailItem();
    safe->SetItem(world.outlook->activeInspector()->CurrentItem());
    std::string reply = addin.GetStamps(dlg, *safe, "2003-06-25", "17:05:09");
    dlg.CloseMe();
    return reply;
  }
  std::string Upload() {
    corvanta::dlgProgress dlg(world.platform);
    dlg.Show();
    auto safe = world.redemption.CreateSafeMailItem();
    safe->SetItem(world.outlook->activeInspector()->CurrentItem());
    std::string reply = addin.SendCertified(dlg, *safe, "2003-06-25", "17:05:09");
    dlg.CloseMe();
    return reply;
  }
  std::string Credit() {
    corvanta::dlgProgress dlg(world.platform);
    return std::to_string(addin.GetCredit(dlg, "ann@example.org"));
  }

 protected:
  // The one request sent since the last look: its query, or its body for a POST.
  std::string Sent() {
    const auto requests = server.Requests();
    server.ClearRequests();
    EXPECT_EQ(requests.size(), 1u);
    if (requests.size() != 1) return {};
    return requests[0].method == "POST" ? requests[0].body : requests[0].query;
  }
};

struct Way {
  const char* name;
  std::string (RequestSigning::*run)();
  const char* reply;
};

class EachRequest : public RequestSigning, public ::testing::WithParamInterface<Way> {};

TEST_P(EachRequest, WithoutAKeyIsAsBeforeAndWithOneIsTheSameTextSigned) {
  Compose({SimRecipient::Smtp("Bob", "bob@example.org")});
  // The same four draws for the hash both times, so only the key can differ.
  world.random.Script({1, 2, 3, 4});
  ASSERT_EQ((this->*GetParam().run)(), GetParam().reply);
  const std::string unsignedText = Sent();
  const std::size_t hash = unsignedText.rfind("&hash=");
  ASSERT_NE(hash, std::string::npos);
  EXPECT_EQ(unsignedText.size(), hash + 6 + 10) << "nothing follows the hash: " << unsignedText;

  addin.serviceKey = kKey;
  world.random.Script({1, 2, 3, 4});
  ASSERT_EQ((this->*GetParam().run)(), GetParam().reply);
  const std::string signedText = Sent();
  EXPECT_EQ(signedText, unsignedText + corvanta::protocol::SignRequest(unsignedText, kKey, kNow));
  const auto parts = corvanta::protocol::SplitSignature(signedText);
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->time, kNow);
  EXPECT_TRUE(corvanta::protocol::CheckSignature(*parts, kKey));
  EXPECT_TRUE(Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Requests, EachRequest,
                         ::testing::Values(Way{"StampRequest", &RequestSigning::Stamps, "qo;s1"},
                                           Way{"CertifiedUpload", &RequestSigning::Upload, "qo;g1"},
                                           Way{"CreditQuery", &RequestSigning::Credit, "5"}),
                         [](const ::testing::TestParamInfo<Way>& way) { return std::string(way.param.name); });

TEST_F(RequestSigning, TheQueryBoundCountsTheQueryNotItsSignature) {
  auto item = Compose({SimRecipient::Smtp("Bob", "bob@example.org")}, "Body", {}, "");
  ASSERT_EQ(Stamps(), "qo;s1");
  const std::size_t emptySubject = Sent().size();

  addin.serviceKey = kKey;
  item->SetSubject(std::string(2000 - emptySubject, 'x'));
  EXPECT_EQ(Stamps(), "qo;s1");
  const std::string longest = Sent();
  const auto parts = corvanta::protocol::SplitSignature(longest);
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->unsignedText.size(), 2000u);
  EXPECT_TRUE(corvanta::protocol::CheckSignature(*parts, kKey));

  item->SetSubject(std::string(2001 - emptySubject, 'x'));
  EXPECT_EQ(Stamps(), "qx;Subject or the email address(es) is too long.");
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(RequestSigning, TheSizeLimitCountsTheMessageNotItsSignature) {
  Compose({SimRecipient::Smtp("Bob", "bob@example.org")}, "A body of some length, with marks: <>&.");
  ASSERT_EQ(Upload(), "qo;g1");
  const std::size_t length = Sent().size();

  addin.serviceKey = kKey;
  addin.SizeLimit = static_cast<std::int32_t>(length);
  EXPECT_EQ(Upload(), "qo;g1");
  const std::string body = Sent();
  const auto parts = corvanta::protocol::SplitSignature(body);
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->unsignedText.size(), length);

  addin.SizeLimit = static_cast<std::int32_t>(length - 1);
  EXPECT_EQ(Upload(), "qx;The email is too big. (" + std::to_string(length) + ">" + std::to_string(length - 1) + ")");
  EXPECT_EQ(server.RequestCount(), 0u);
}

}  // namespace
}  // namespace sendtest

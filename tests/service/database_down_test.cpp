// A database that fails every statement: the add-in's requests get a 503
// with a "qx;" message (never a 500), the image is still served, /healthz
// says so, and /metrics counts the errors.
#include <gtest/gtest.h>
#include <httplib.h>

#include "addin_requests.h"
#include "protocol/service.h"
#include "service/http/server.h"
#include "service/service.h"
#include "support/loopback_client.h"

namespace service_test {
namespace {

using namespace corvanta::protocol;
using namespace mailwarden::store;

class DownStore final : public Store {
 public:
  [[noreturn]] static void Fail() { throw StoreError("database: disk I/O error"); }
  Account AddAccount(std::string_view, int, Time) override { Fail(); }
  std::optional<Account> FindAccount(std::string_view) override { Fail(); }
  std::vector<Account> ListAccounts() override { Fail(); }
  bool SetMonthlyCredit(std::string_view, int) override { Fail(); }
  bool SetPasswordHash(std::string_view, std::string_view) override { Fail(); }
  bool SetCodepage(std::string_view, int) override { Fail(); }
  bool SetAddinKey(std::string_view, std::string_view) override { Fail(); }
  bool RemoveAccount(std::string_view) override { Fail(); }
  std::optional<int> CreditLeft(std::string_view, Time) override { Fail(); }
  Issued IssueStamps(const NewMessage&, int, const std::function<std::string()>&) override { Fail(); }
  std::optional<StampInfo> FindStamp(std::string_view) override { Fail(); }
  void KeepReceived(std::int64_t, std::string_view, std::optional<std::string_view>) override { Fail(); }
  std::vector<KeptText> KeptTexts(std::string_view) override { Fail(); }
  void RewriteText(std::int64_t, const TextReadAgain&) override { Fail(); }
  void RecordEvents(const std::vector<NewEvent>&) override { Fail(); }
  bool RecordOnce(const NewEvent&) override { Fail(); }
  Certified ReadCertified(const NewEvent&) override { Fail(); }
  CertifiedState Cancel(const NewEvent&) override { Fail(); }
  int ExpireContent(Time) override { Fail(); }
  int PurgeBefore(Time) override { Fail(); }
  std::vector<MessageView> ListMessages(const MessageQuery&) override { Fail(); }
  std::optional<MessageView> GetMessage(std::int64_t, std::int64_t, const TimelinePage&) override { Fail(); }
  void CreateSession(std::string_view, const Session&) override { Fail(); }
  std::optional<Session> TouchSession(std::string_view, Time, Time) override { Fail(); }
  void DeleteSession(std::string_view) override { Fail(); }
  std::optional<std::int64_t> MarkedAccount(std::string_view, Time, Time) override { Fail(); }
  void EndSessions(std::int64_t, std::string_view) override { Fail(); }
  int PurgeSessions(Time, Time) override { Fail(); }
  int CountAttempt(std::string_view, std::string_view, Time, Time) override { Fail(); }
  std::string ServiceKey(std::string_view, std::string_view) override { Fail(); }
  bool RememberSignature(std::string_view, Time, Time) override { Fail(); }
  std::vector<int> AttemptCounts(const std::vector<std::pair<std::string, std::string>>&, Time) override { Fail(); }
  void ForgetAttempts(std::string_view) override { Fail(); }
  void EnableMailNotices(bool) override {}
  std::vector<Delivery> ClaimDeliveries(Time, Time, int) override { Fail(); }
  void FinishDelivery(const Delivery&, Time) override { Fail(); }
  void RetryDelivery(const Delivery&, Time, bool, std::string_view, Time) override { Fail(); }
  void PauseWebhook(std::int64_t, std::string_view) override { Fail(); }
  bool SetNotify(std::string_view, std::string_view, std::string_view) override { Fail(); }
  std::optional<Webhook> AddWebhook(std::string_view, std::string_view, std::string_view, Time) override { Fail(); }
  std::vector<Webhook> ListWebhooks(std::int64_t) override { Fail(); }
  bool RemoveWebhook(std::int64_t, std::int64_t) override { Fail(); }
  bool ResumeWebhook(std::int64_t, std::int64_t) override { Fail(); }
  bool Healthy() override { return false; }
  std::int64_t NewestEventId(std::int64_t) override { Fail(); }
  std::vector<LiveEvent> EventsAfter(std::int64_t, std::int64_t, int) override { Fail(); }
};

TEST(DatabaseDown, RequestsAreRefusedWithAServiceBusyReplyAndCounted) {
  DownStore store;
  mailwarden::ServiceOptions options;
  options.newSenderCredit = 10;
  mailwarden::Service service(store, options, -1);
  mailwarden::http::ServerOptions listen;
  listen.port = 0;
  mailwarden::http::Server server(service.Router(), listen, service.Observer());
  server.Start();
  httplib::Client client = testsupport::LoopbackClient(server.Port());

  AddinSend send;
  send.to = {{"bob@example.com", "Bob"}};
  for (const std::string& target :
       {std::string(kCreditPath) + "?" + CreditQuery(send.from, {1, 2, 3, 4}),
        std::string(kStampPath) + "?" + StampQuery(send, {1, 2, 3, 4}), std::string(kCertifiedPath) + "?SomeStamp"}) {
    auto reply = client.Get(target);
    ASSERT_TRUE(reply) << target;
    EXPECT_EQ(reply->status, 503) << target;
    EXPECT_EQ(reply->body, "qx;The service is busy, please try again later.") << target;
  }
  auto upload = client.Post(kUploadPath, UploadBody(send, {1, 2, 3, 4}), "application/x-www-form-urlencoded");
  ASSERT_TRUE(upload);
  EXPECT_EQ(upload->status, 503);

  auto image = client.Get(std::string(kTrackPath) + "?img=1&SomeStamp");
  ASSERT_TRUE(image);
  EXPECT_EQ(image->status, 200);
  EXPECT_EQ(image->get_header_value("Content-Type"), "image/gif");

  auto health = client.Get("/healthz");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 503);
  EXPECT_GE(service.Metrics().DatabaseErrors(), 4u);
  server.Stop();
}

}  // namespace
}  // namespace service_test

#include "service_fixture.h"

#include "support/loopback_client.h"
#include "support/press_button.h"

namespace service_test {

void ServiceTest::Restart(const mailwarden::ServeOptions& options) {
  server_.reset();
  server_ = std::make_unique<testsupport::LocalService>(options);
}

corvanta::protocol::HashDraws ServiceTest::Draws() {
  std::uniform_int_distribution<int> digit(0, 61);
  return {digit(random_), digit(random_), digit(random_), digit(random_)};
}

httplib::Result ServiceTest::Get(const char* path, const std::string& query) {
  httplib::Client client = testsupport::LoopbackClient(server_->Port());
  return client.Get(std::string(path) + (query.empty() ? "" : "?" + query));
}

httplib::Result ServiceTest::Post(const char* path, const std::string& body) {
  httplib::Client client = testsupport::LoopbackClient(server_->Port());
  return client.Post(path, body, "application/x-www-form-urlencoded");
}

httplib::Result ServiceTest::Press(const char* path, const std::string& query) {
  httplib::Client client = testsupport::LoopbackClient(server_->Port());
  return testsupport::PressButton(client, std::string(path) + "?" + query);
}

std::string ServiceTest::GetText(const char* path, const std::string& query) {
  httplib::Result result = Get(path, query);
  EXPECT_TRUE(result) << path << "?" << query;
  return result ? result->body : "";
}

std::string ServiceTest::AskCredit(const std::string& email) {
  return GetText(corvanta::protocol::kCreditPath, CreditQuery(email, Draws()));
}

std::string ServiceTest::AskStamps(const AddinSend& send) {
  return GetText(corvanta::protocol::kStampPath, StampQuery(send, Draws()));
}

std::string ServiceTest::Upload(const AddinSend& send) {
  httplib::Result result = Post(corvanta::protocol::kUploadPath, UploadBody(send, Draws()));
  EXPECT_TRUE(result);
  return result ? result->body : "";
}

AddinSend ThreeRecipients() {
  AddinSend send;
  send.to = {{"bob@example.com", "Bob Brown"}, {"Carol Smith (Sales)", "Carol Smith (Sales)"}, {"dan@example.org", ""}};
  return send;
}

}  // namespace service_test

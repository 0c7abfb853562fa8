#include "devservice_fixture.h"

namespace devservice_test {

void DevServiceTest::Restart(const mailwarden::Options& options) {
  server_.reset();
  service_.reset();
  service_ = std::make_unique<mailwarden::Service>(options);
  server_ = std::make_unique<mailwarden::Server>(*service_);
  server_->Start();
}

corvanta::protocol::HashDraws DevServiceTest::Draws() {
  std::uniform_int_distribution<int> digit(0, 61);
  return {digit(random_), digit(random_), digit(random_), digit(random_)};
}

httplib::Result DevServiceTest::Get(const char* path, const std::string& query) {
  httplib::Client client("127.0.0.1", server_->Port());
  return client.Get(std::string(path) + (query.empty() ? "" : "?" + query));
}

httplib::Result DevServiceTest::Post(const char* path, const std::string& body) {
  httplib::Client client("127.0.0.1", server_->Port());
  return client.Post(path, body, "application/x-www-form-urlencoded");
}

std::string DevServiceTest::GetText(const char* path, const std::string& query) {
  httplib::Result result = Get(path, query);
  EXPECT_TRUE(result) << path << "?" << query;
  return result ? result->body : "";
}

std::string DevServiceTest::AskCredit(const std::string& email) {
  return GetText(corvanta::protocol::kCreditPath, CreditQuery(email, Draws()));
}

std::string DevServiceTest::AskStamps(const AddinSend& send) {
  return GetText(corvanta::protocol::kStampPath, StampQuery(send, Draws()));
}

std::string DevServiceTest::Upload(const AddinSend& send) {
  httplib::Result result = Post(corvanta::protocol::kUploadPath, UploadBody(send, Draws()));
  EXPECT_TRUE(result);
  return result ? result->body : "";
}

nlohmann::json DevServiceTest::Status() {
  return nlohmann::json::parse(GetText("/status.json", ""));
}

AddinSend ThreeRecipients() {
  AddinSend send;
  send.to = {{"bob@example.com", "Bob Brown"}, {"Carol Smith (Sales)", "Carol Smith (Sales)"}, {"dan@example.org", ""}};
  return send;
}

}  // namespace devservice_test

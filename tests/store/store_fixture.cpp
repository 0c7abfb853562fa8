#include "store_fixture.h"

#include <atomic>

namespace store_test {

NewMessage StoreTest::Message(const std::string& sender, std::vector<std::string> recipients, Time issued,
                              const std::string& subject) {
  NewMessage message;
  message.sender = sender;
  message.subject = subject;
  message.sentDate = "2026-03-14";
  message.sentTime = "12:00:00";
  message.issued = issued;
  message.ip = "192.0.2.7";
  for (const std::string& to : recipients) message.recipients.push_back({to, "Name of " + to});
  return message;
}

std::vector<std::string> StoreTest::Issue(const NewMessage& message, int newSenderCredit) {
  static std::atomic<int> counter{0};
  Issued issued = store_->IssueStamps(message, newSenderCredit, [] { return "S" + std::to_string(++counter); });
  EXPECT_EQ(issued.outcome, IssueOutcome::kIssued);
  return issued.stamps;
}

NewEvent StoreTest::EventOn(const std::string& stamp, EventType type, Time time) {
  return NewEvent{stamp, type, EventClass::kPerson, time, "198.51.100.4", "Mail/1.0", "a mail program"};
}

INSTANTIATE_TEST_SUITE_P(Engines, StoreTest, ::testing::ValuesIn(testsupport::StoreEngineUrls()),
                         [](const auto& engine) { return testsupport::EngineName(engine.param); });

}  // namespace store_test

// Trimming a per-recipient copy down to its one recipient.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "host/error.h"
#include "sending/message_copies.h"

namespace corvanta::sending {
namespace {

// Recipients whose positions close up after a Delete, logging the positions deleted.
struct Shrinking {
  std::vector<std::string> names;
  std::vector<int> deletedAt;
};

class Recipient : public host::SafeRecipient {
 public:
  Recipient(std::shared_ptr<Shrinking> list, int position) : list_(std::move(list)), position_(position) {}
  std::string Name() override { return list_->names.at(position_ - 1); }
  std::string Address() override { return Name(); }
  std::string Fields(std::uint32_t) override { return {}; }
  void Delete() override {
    list_->deletedAt.push_back(position_);
    list_->names.erase(list_->names.begin() + (position_ - 1));
  }

 private:
  std::shared_ptr<Shrinking> list_;
  int position_;
};

class Recipients : public host::SafeRecipients {
 public:
  explicit Recipients(std::shared_ptr<Shrinking> list) : list_(std::move(list)) {}
  int Count() override { return static_cast<int>(list_->names.size()); }
  std::shared_ptr<host::SafeRecipient> Item(int index) override {
    if (index < 1 || index > Count()) throw host::Error("no recipient " + std::to_string(index));
    return std::make_shared<Recipient>(list_, index);
  }
  void ResolveAll() override {}

 private:
  std::shared_ptr<Shrinking> list_;
};

class Copy : public host::SafeMailItem {
 public:
  explicit Copy(std::shared_ptr<Shrinking> list) : list_(std::move(list)) {}
  void SetItem(std::shared_ptr<host::MailItem>) override {}
  std::shared_ptr<host::MailItem> Item() override { return nullptr; }
  std::shared_ptr<host::SafeRecipients> Recipients() override { return std::make_shared<class Recipients>(list_); }
  void Send() override {}
  std::string Body() override { return {}; }
  std::string HTMLBody() override { return {}; }
  void SetBody(const std::string&) override {}
  void SetHTMLBody(const std::string&) override {}
  std::string Subject() override { return {}; }
  void SetSubject(const std::string&) override {}
  void Move(host::Folder&) override {}

 private:
  std::shared_ptr<Shrinking> list_;
};

struct TrimCase {
  int n, keep;
  std::vector<int> deletedAt;
};

class KeepOnlyRecipientTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(KeepOnlyRecipientTest, DeletesAtClosingUpPositionsAndKeepsRecipientI) {
  const TrimCase& c = GetParam();
  auto list = std::make_shared<Shrinking>();
  for (int j = 1; j <= c.n; ++j) list->names.push_back("r" + std::to_string(j));
  Copy copy(list);
  KeepOnlyRecipient(copy, c.keep, c.n);
  EXPECT_EQ(list->deletedAt, c.deletedAt);
  EXPECT_EQ(list->names, std::vector<std::string>{"r" + std::to_string(c.keep)});
}

INSTANTIATE_TEST_SUITE_P(Positions, KeepOnlyRecipientTest,
                         ::testing::Values(TrimCase{1, 1, {}}, TrimCase{5, 3, {1, 1, 2, 2}},
                                           TrimCase{5, 1, {2, 2, 2, 2}}, TrimCase{5, 5, {1, 1, 1, 1}},
                                           TrimCase{3, 2, {1, 2}}));

}  // namespace
}  // namespace corvanta::sending

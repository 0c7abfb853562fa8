#include "support/local_service.h"

#include <gtest/gtest.h>

#include "service/status.h"

namespace testsupport {

LocalService::LocalService(int newSenderCredit) : LocalService(mailwarden::LoopbackOptions(newSenderCredit)) {}

LocalService::LocalService(const mailwarden::ServeOptions& options)
    : newSenderCredit_(options.service.newSenderCredit), instance_(std::make_unique<mailwarden::Instance>(options)) {
  instance_->Start();
}

int LocalService::Credit(const std::string& sender) {
  return Store().CreditLeft(sender, mailwarden::SystemNow()).value_or(newSenderCredit_);
}

void LocalService::SetCredit(const std::string& sender, int left) {
  auto account = Store().FindAccount(sender);
  if (!account) {
    Store().AddAccount(sender, left, mailwarden::SystemNow());
    return;
  }
  int used = account->monthlyCredit - Credit(sender);
  Store().SetMonthlyCredit(sender, used + left);
}

nlohmann::json LocalService::Status() {
  return mailwarden::Status(instance_->service().context());
}

std::vector<std::string> LocalService::Stamps() {
  std::vector<std::string> stamps;
  const nlohmann::json status = Status();  // kept: the loop reads into it
  for (const auto& stamp : status.at("stamps")) stamps.push_back(stamp.at("stamp").get<std::string>());
  return stamps;
}

std::string LocalService::StampOf(const std::string& recipient) {
  std::string found;
  const nlohmann::json status = Status();
  for (const auto& stamp : status.at("stamps")) {
    if (stamp.at("recipient") != recipient) continue;
    EXPECT_TRUE(found.empty()) << "two stamps for " << recipient;
    found = stamp.at("stamp").get<std::string>();
  }
  return found;
}

std::vector<std::string> LocalService::EventsOf(const std::string& stamp) {
  std::vector<std::string> types;
  const nlohmann::json status = Status();
  for (const auto& event : status.at("events")) {
    if (event.at("stamp") == stamp) types.push_back(event.at("type").get<std::string>());
  }
  return types;
}

}  // namespace testsupport

#pragma once
// A whole mailwarden running in this process on 127.0.0.1 (a free port),
// on SQLite in memory, with what the tests look at: credits, stamps and the
// events the service recorded.
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "service/instance.h"

namespace testsupport {

class LocalService {
 public:
  // A sender without an account gets newSenderCredit a month; serving when it returns.
  explicit LocalService(int newSenderCredit);
  explicit LocalService(const mailwarden::ServeOptions& options);

  mailwarden::Instance& instance() { return *instance_; }
  mailwarden::store::Store& Store() { return instance_->Store(); }
  int Port() const { return instance_->Port(); }
  std::string Host() const { return instance_->Host(); }
  std::string Url() const { return instance_->Url(); }
  // Stops serving; Credit, Status and the rest still answer.
  void Stop() { instance_->Stop(); }

  // The credit the sender has left this month (what a new sender would get
  // when there is no account).
  int Credit(const std::string& sender);
  // Sets the sender's monthly credit so that exactly left remain this month.
  void SetCredit(const std::string& sender, int left);

  // /status.json's content, after the queued events are written.
  nlohmann::json Status();
  std::vector<std::string> Stamps();
  // The one stamp issued for this recipient ("" when none; two fail the test).
  std::string StampOf(const std::string& recipient);
  // What happened to the stamp, oldest first, "stamp issued" first of all.
  std::vector<std::string> EventsOf(const std::string& stamp);

 private:
  int newSenderCredit_;
  std::unique_ptr<mailwarden::Instance> instance_;
};

}  // namespace testsupport

#pragma once
// A mailwarden on SQLite in memory, served on 127.0.0.1 (a free port) in
// this process, with a client that speaks to it as the add-in and the
// recipients do.
#include <gtest/gtest.h>
#include <httplib.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "addin_requests.h"
#include "protocol/service.h"
#include "support/local_service.h"

namespace service_test {

class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest() { Restart(mailwarden::LoopbackOptions(100)); }

  // A new service with these options (the old one stops first).
  void Restart(const mailwarden::ServeOptions& options);

  // Fresh draws for each hash, as the add-in's generator gives them.
  corvanta::protocol::HashDraws Draws();

  httplib::Result Get(const char* path, const std::string& query);
  httplib::Result Post(const char* path, const std::string& body);
  // The link's page and its button pressed (see press_button.h).
  httplib::Result Press(const char* path, const std::string& query);
  // The body of a GET that must answer; "" after a failed transfer.
  std::string GetText(const char* path, const std::string& query);

  std::string AskCredit(const std::string& email);
  std::string AskStamps(const AddinSend& send);
  std::string Upload(const AddinSend& send);
  nlohmann::json Status() { return server_->Status(); }

  std::unique_ptr<testsupport::LocalService> server_;
  std::mt19937 random_{20030625};
};

// One recipient of each kind the add-in sends: a plain address, a display
// name standing in for a missing address (spaces and all), no display name.
AddinSend ThreeRecipients();

}  // namespace service_test

#pragma once
// One suite over every engine of the store: each test gets an empty
// database of the engine named by the parameter.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "service/store/store.h"
#include "support/store_engines.h"

namespace store_test {

using namespace mailwarden::store;

// 2026-03-14T12:00:00Z and friends, in microseconds.
constexpr Time kSecond = 1000000;
constexpr Time kDay = 86400 * kSecond;
constexpr Time kMarch14 = 1773489600 * kSecond;

class StoreTest : public ::testing::TestWithParam<std::string> {
 protected:
  StoreTest() {
    testsupport::EmptyDatabase(GetParam());
    store_ = OpenStore(GetParam());
  }
  ~StoreTest() override {
    store_.reset();
    testsupport::EmptyDatabase(GetParam());
  }

  // A tracked message from sender to the recipients, issued at time.
  static NewMessage Message(const std::string& sender, std::vector<std::string> recipients, Time issued,
                            const std::string& subject = "Quarterly figures");
  // Issues and expects success; the stamps.
  std::vector<std::string> Issue(const NewMessage& message, int newSenderCredit = 0);
  static NewEvent EventOn(const std::string& stamp, EventType type, Time time);

  std::unique_ptr<Store> store_;
};

}  // namespace store_test

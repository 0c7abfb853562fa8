// Every test program runs in one single-threaded apartment, as the add-in does in Outlook.
#include <gtest/gtest.h>

#include "host/win32/win32_api.h"

namespace {

class ComEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};

[[maybe_unused]] const auto* const environment = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

}  // namespace

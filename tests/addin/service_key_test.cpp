// Where the add-in finds its key: "ServiceKey" beside "ServiceHost", sealed
// in place on a platform that seals secrets, and read at start-up.
#include "addin/service_key.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "addin/setting_values.h"
#include "host/sim/registry.h"
#include "support/sim_fixture.h"

namespace {

using corvanta::protocol::AddinKey;
using corvanta::protocol::AddinKeyText;

const std::string kDigits = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";

// A registry that seals as Windows does: the sealed text is not the secret,
// and only this registry opens it.
class SealingRegistry : public host::sim::SimRegistry {
 public:
  std::optional<std::string> ProtectData(const std::string& secret) override {
    return "sealed:" + std::string(secret.rbegin(), secret.rend());
  }
  std::optional<std::string> UnprotectData(const std::string& sealed) override {
    if (sealed.rfind("sealed:", 0) != 0) return std::nullopt;
    return std::string(sealed.rbegin(), sealed.rend() - 7);
  }
};

std::string Stored(host::Registry& registry) {
  return corvanta::addin::ReadText(registry, testsupport::kCvxRegPath, "ServiceKey", "(none)");
}

TEST(ServiceKey, APlainKeyIsReadAndSealedInPlaceWhereThePlatformSeals) {
  SealingRegistry registry;
  // As a sender pastes it: upper case, in groups.
  corvanta::addin::WriteText(registry, testsupport::kCvxRegPath, "ServiceKey",
                             "00112233-44556677-8899AABB-CCDDEEFF 00112233-44556677-8899AABB-CCDDEEFF");
  const auto key = corvanta::addin::ReadServiceKey(registry, testsupport::kCvxRegPath);
  ASSERT_TRUE(key);
  EXPECT_EQ(AddinKeyText(*key), kDigits);
  EXPECT_EQ(Stored(registry), "sealed:" + std::string(kDigits.rbegin(), kDigits.rend()));

  // The next start reads the sealed form.
  const auto again = corvanta::addin::ReadServiceKey(registry, testsupport::kCvxRegPath);
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, *key);
}

TEST(ServiceKey, TheStandInKeepsTheKeyAsItKeepsEverySetting) {
  host::sim::SimRegistry registry;
  corvanta::addin::WriteText(registry, testsupport::kCvxRegPath, "ServiceKey", kDigits);
  const auto key = corvanta::addin::ReadServiceKey(registry, testsupport::kCvxRegPath);
  ASSERT_TRUE(key);
  EXPECT_EQ(AddinKeyText(*key), kDigits);
  EXPECT_EQ(Stored(registry), kDigits);
}

TEST(ServiceKey, NoKeyOrOneThatCannotBeReadMeansUnsignedRequests) {
  for (const std::string& stored :
       std::vector<std::string>{"", "0011", kDigits + "00", "sealed:garbage", "dpapi:00ff", "not a key"}) {
    SealingRegistry registry;
    if (!stored.empty()) corvanta::addin::WriteText(registry, testsupport::kCvxRegPath, "ServiceKey", stored);
    EXPECT_FALSE(corvanta::addin::ReadServiceKey(registry, testsupport::kCvxRegPath)) << stored;
  }
}

TEST(ServiceKey, StartUpReadsItBesideTheServiceHost) {
  for (const bool set : {false, true}) {
    testsupport::SimWorld world;
    world.SetSender("Ann Example", "ann@example.com");
    if (set) world.SetString("ServiceKey", kDigits);
    world.AcceptedBefore();
    world.Start();
    ASSERT_EQ(world.addin->serviceKey.has_value(), set);
    if (set) {
      EXPECT_EQ(AddinKeyText(*world.addin->serviceKey), kDigits);
    }
  }
}

}  // namespace

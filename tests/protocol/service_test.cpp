// The service's addresses on its configured web host.
#include "protocol/service.h"

#include <gtest/gtest.h>

namespace corvanta::protocol {
namespace {

TEST(ServiceUrlTest, JoinsHostAndPath) {
  const std::pair<const char*, const char*> cases[] = {
      {kStampPath, "http://127.0.0.1:8080/p/b01/dunla.php"},
      {kUploadPath, "http://127.0.0.1:8080/p/b01/forsel.php"},
      {kCreditPath, "http://127.0.0.1:8080/p/b01/marlo.php"},
      {kTrackPath, "http://127.0.0.1:8080/p/b01/wrenna.php"},
      {kCertifiedPath, "http://127.0.0.1:8080/p/b01/tovik.php"},
      {kTermsPath, "http://127.0.0.1:8080/cvx/toua.txt"},
      {kPagesPath, "http://127.0.0.1:8080/cvx/"},
      {kDonationPath, "http://127.0.0.1:8080/cvx/donation/"},
  };
  for (const auto& [path, url] : cases) EXPECT_EQ(ServiceUrl("127.0.0.1:8080", path), url);
  EXPECT_EQ(ServiceUrl(kBuiltInServiceHost, "/"), std::string("http://") + kBuiltInServiceHost + "/");
}

}  // namespace
}  // namespace corvanta::protocol

// The sender's identity: Redemption first, then the cached copy, then Outlook
// after a warning; and the SMTP address of any address entry.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "host/sim/redemption.h"
#include "support/sim_fixture.h"

namespace {

using host::sim::RegValue;
using host::sim::SimAddress;

const std::string kWarning =
    "Corvanta is trying to read your Email address and your name. This might trigger security warnings. Please "
    "response Yes to the following prompts about accessing e-mail addresses.";

class IdentityFixture {
 protected:
  IdentityFixture() {
    world.addin->cvxRegPath = testsupport::kCvxRegPath;
    world.addin->goOutlook = world.outlook;
  }
  std::optional<RegValue> Stored(const std::string& name) const {
    return world.registry.Get(host::HKEY_CURRENT_USER, testsupport::kCvxRegPath, name);
  }
  void Cache(const std::string& address, const std::string& name) {
    world.SetString("currentUserAddress", address);
    world.SetString("currentUserName", name);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& m : world.windowing.Messages()) texts.push_back(m.text);
    return texts;
  }

  testsupport::SimWorld world;
};

struct IdentityCase {
  std::string name = {};
  bool installed = true;
  SimAddress redemptionUser = {};
  std::optional<std::pair<std::string, std::string>> cached = std::nullopt;  // address, name
  SimAddress outlookUser = {};
  bool refuse = false;
  // expected
  std::string fromAddy = {}, fromName = {};
  bool redWorks = false;
  bool warned = false;
  std::optional<std::string> report = std::nullopt;
  std::optional<std::pair<std::string, std::string>> cachedAfter = std::nullopt;
};

void PrintTo(const IdentityCase& c, std::ostream* os) {
  *os << c.name;
}

class LoadCurrentUserTest : public IdentityFixture, public ::testing::TestWithParam<IdentityCase> {};

TEST_P(LoadCurrentUserTest, FindsTheSender) {
  const IdentityCase& c = GetParam();
  world.redemption.SetInstalled(c.installed);
  world.redemption.SetCurrentUser(c.redemptionUser);
  if (c.cached) Cache(c.cached->first, c.cached->second);
  world.outlook->SetCurrentUser(c.outlookUser);
  world.outlook->RefuseCurrentUser(c.refuse);

  world.addin->LoadCurrentUser();

  EXPECT_EQ(world.addin->fromAddy, c.fromAddy);
  EXPECT_EQ(world.addin->fromName, c.fromName);
  EXPECT_EQ(world.addin->redWorks, c.redWorks);

  std::vector<std::string> expected;
  if (c.warned) expected.push_back(kWarning);
  if (c.report) expected.push_back(*c.report);
  EXPECT_EQ(Texts(), expected);
  if (c.warned) {
    EXPECT_EQ(world.windowing.Messages()[0].icon, host::MsgIcon::Exclamation);
    EXPECT_EQ(world.windowing.Messages()[0].buttons, host::MsgButtons::OK);
  }
  // Outlook is asked only after the warning.
  EXPECT_EQ(world.outlook->guardPrompts() > 0, c.warned);

  const auto cachedAfter = c.cachedAfter ? c.cachedAfter : c.cached;
  if (cachedAfter) {
    EXPECT_EQ(Stored("currentUserAddress"), RegValue::String(cachedAfter->first));
    EXPECT_EQ(Stored("currentUserName"), RegValue::String(cachedAfter->second));
  } else {
    EXPECT_FALSE(Stored("currentUserAddress"));
    EXPECT_FALSE(Stored("currentUserName"));
  }
}

const SimAddress kNobody = SimAddress::Smtp("", "");
const SimAddress kOlga = SimAddress::Smtp("Olga Outlook", "olga@example.org");

INSTANTIATE_TEST_SUITE_P(
    Sources, LoadCurrentUserTest,
    ::testing::Values(
        IdentityCase{.name = "RedemptionSmtp",
                     .redemptionUser = SimAddress::Smtp("Ann Smith", "ann@example.org"),
                     .outlookUser = kOlga,
                     .fromAddy = "ann@example.org",
                     .fromName = "Ann Smith",
                     .redWorks = true},
        IdentityCase{
            .name = "RedemptionExchangeWithSmtp",
            .redemptionUser = SimAddress::Exchange("Bob Jones", "/o=Org/cn=Recipients/cn=bob", "bob@example.org"),
            .cached = {{"old@example.org", "Old"}},
            .outlookUser = kOlga,
            .fromAddy = "bob@example.org",
            .fromName = "Bob Jones",
            .redWorks = true},
        IdentityCase{.name = "RedemptionExchangeWithoutSmtpUsesCache",
                     .redemptionUser = SimAddress::Exchange("Bob Jones", "/o=Org/cn=Recipients/cn=bob", ""),
                     .cached = {{"cache@example.org", "Cached Name"}},
                     .outlookUser = kOlga,
                     .fromAddy = "cache@example.org",
                     .fromName = "Cached Name"},
        IdentityCase{.name = "RedemptionExchangeWithoutSmtpAsksOutlook",
                     .redemptionUser = SimAddress::Exchange("Bob Jones", "/o=Org/cn=Recipients/cn=bob", ""),
                     .outlookUser = kOlga,
                     .fromAddy = "olga@example.org",
                     .fromName = "Olga Outlook",
                     .warned = true,
                     .cachedAfter = {{"olga@example.org", "Olga Outlook"}}},
        IdentityCase{.name = "CacheWhenRedemptionIsEmpty",
                     .redemptionUser = kNobody,
                     .cached = {{"cache@example.org", "Cached Name"}},
                     .outlookUser = kOlga,
                     .fromAddy = "cache@example.org",
                     .fromName = "Cached Name"},
        IdentityCase{.name = "OutlookAfterTheWarning",
                     .redemptionUser = kNobody,
                     .outlookUser = SimAddress::Exchange("Olga Outlook", "/o=Org/cn=olga", "olga@example.org"),
                     .fromAddy = "/o=Org/cn=olga",  // no SMTP conversion on this path
                     .fromName = "Olga Outlook",
                     .warned = true,
                     .cachedAfter = {{"/o=Org/cn=olga", "Olga Outlook"}}},
        IdentityCase{.name = "OutlookRefuses",
                     .redemptionUser = kNobody,
                     .outlookUser = kOlga,
                     .refuse = true,
                     .warned = true,
                     .report = "An error was occured! #81"},
        IdentityCase{.name = "RedemptionMissing",
                     .installed = false,
                     .redemptionUser = SimAddress::Smtp("Ann Smith", "ann@example.org"),
                     .cached = {{"cache@example.org", "Cached Name"}},
                     .outlookUser = kOlga,
                     .report = "Redemption.dll was not installed properly! #80"},
        IdentityCase{.name = "NothingAnywhere",
                     .redemptionUser = kNobody,
                     .outlookUser = kNobody,
                     .warned = true,
                     .report = "Failed to load your email address! #88",
                     .cachedAfter = {{"", ""}}}),
    [](const ::testing::TestParamInfo<IdentityCase>& param) { return param.param.name; });

class IdentityTest : public IdentityFixture, public ::testing::Test {};

TEST_F(IdentityTest, EmptyRedemptionKeepsAnEarlierAddress) {
  world.addin->fromAddy = "earlier@example.org";
  world.addin->fromName = "Earlier";
  world.addin->redWorks = true;
  world.redemption.SetCurrentUser(SimAddress::Smtp("", ""));
  world.addin->LoadCurrentUser();
  EXPECT_EQ(world.addin->fromAddy, "earlier@example.org");
  EXPECT_EQ(world.addin->fromName, "Earlier");
  EXPECT_TRUE(world.addin->redWorks);
  EXPECT_TRUE(world.windowing.Messages().empty());
  EXPECT_FALSE(Stored("currentUserAddress"));
}

TEST_F(IdentityTest, AnEarlierAddressOutsideRedemptionIsCachedAgain) {
  world.addin->fromAddy = "earlier@example.org";
  world.addin->fromName = "Earlier";
  world.redemption.SetCurrentUser(SimAddress::Smtp("", ""));
  world.addin->LoadCurrentUser();
  EXPECT_FALSE(world.addin->redWorks);
  EXPECT_TRUE(world.windowing.Messages().empty());
  EXPECT_EQ(Stored("currentUserAddress"), RegValue::String("earlier@example.org"));
  EXPECT_EQ(Stored("currentUserName"), RegValue::String("Earlier"));
}

TEST_F(IdentityTest, OutlookNotConnectedIsReportedNotFollowed) {
  world.addin->goOutlook = nullptr;
  world.redemption.SetCurrentUser(SimAddress::Smtp("", ""));
  world.addin->LoadCurrentUser();
  EXPECT_EQ(Texts(), (std::vector<std::string>{kWarning, "An error was occured! #81"}));
  EXPECT_EQ(world.addin->fromAddy, "");
}

TEST_F(IdentityTest, SenderReadFreshFromRedemptionEachTime) {
  world.redemption.SetCurrentUser(SimAddress::Smtp("Ann Smith", "ann@example.org"));
  world.addin->LoadCurrentUser();
  const int created = world.redemption.created(host::sim::kProgIdSafeCurrentUser);

  EXPECT_EQ(world.addin->GetSenderAddress(), "ann@example.org");
  world.redemption.SetCurrentUser(
      SimAddress::Exchange("Ann Jones", "/o=Org/cn=Recipients/cn=ann", "ann.jones@example.org"));
  EXPECT_EQ(world.addin->GetSenderAddress(), "ann.jones@example.org");
  EXPECT_EQ(world.addin->GetSenderName(), "Ann Jones");
  EXPECT_EQ(world.redemption.created(host::sim::kProgIdSafeCurrentUser), created + 3);
  EXPECT_EQ(world.addin->fromAddy, "ann@example.org");
  EXPECT_EQ(world.addin->fromName, "Ann Smith");
}

TEST_F(IdentityTest, SenderFromMembersWithoutRedemption) {
  world.addin->redWorks = false;
  world.addin->fromAddy = "cache@example.org";
  world.addin->fromName = "Cached Name";
  world.redemption.SetCurrentUser(SimAddress::Smtp("Ann Smith", "ann@example.org"));
  EXPECT_EQ(world.addin->GetSenderAddress(), "cache@example.org");
  EXPECT_EQ(world.addin->GetSenderName(), "Cached Name");
  EXPECT_EQ(world.redemption.created(host::sim::kProgIdSafeCurrentUser), 0);
}

TEST_F(IdentityTest, SenderFailsToTheCallerWhenRedemptionGoes) {
  world.addin->redWorks = true;
  world.redemption.SetInstalled(false);
  EXPECT_THROW(world.addin->GetSenderAddress(), host::Error);
  EXPECT_THROW(world.addin->GetSenderName(), host::Error);
  EXPECT_TRUE(world.windowing.Messages().empty());
}

struct SmtpCase {
  SimAddress entry;
  std::string expected;
};

class GetSmtpAddressTest : public IdentityFixture, public ::testing::TestWithParam<SmtpCase> {};

TEST_P(GetSmtpAddressTest, AddressOrItsSmtpProperty) {
  world.redemption.SetCurrentUser(GetParam().entry);
  auto entry = world.redemption.CreateSafeCurrentUser();
  EXPECT_EQ(world.addin->GetSmtpAddress(*entry), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Entries, GetSmtpAddressTest,
                         ::testing::Values(SmtpCase{SimAddress::Smtp("Ann", "ann@example.org"), "ann@example.org"},
                                           SmtpCase{SimAddress::Exchange("Bob", "/o=Org/cn=bob", "bob@example.org"),
                                                    "bob@example.org"},
                                           SmtpCase{SimAddress::Exchange("Bob", "/o=Org/cn=bob", ""), ""},
                                           SmtpCase{SimAddress{.name = "Cy",
                                                               .address = "cy@example.org",
                                                               .addressType = "smtp",
                                                               .smtpAddress = "other@example.org"},
                                                    "other@example.org"}));  // the type is compared exactly

}  // namespace

// User-Agents in words by Debian's uap-core patterns (scripts/setup installs
// them), and the rules of that data as RE2 takes them.
#include "service/events/client_names.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "service/events/classify.h"

namespace {

using mailwarden::events::ClientDataError;
using mailwarden::events::ClientNames;
using mailwarden::events::ParseClientRules;
using mailwarden::events::ReadClientRules;

const ClientNames& Names() {
  static const auto names = mailwarden::events::SharedClientNames(mailwarden::events::DefaultClientData());
  if (!names) throw std::runtime_error("the ua-parser patterns are missing: run scripts/setup (uap-core)");
  return *names;
}

TEST(ClientNames, MailProgramsAndProxiesInWords) {
  struct Case {
    const char* userAgent;
    std::string_view reason;
    const char* words;
  };
  const Case cases[] = {
      {"Microsoft Office/16.0 (Windows NT 10.0; Microsoft Outlook 16.0.5095; Pro)", "", "Outlook 2016 \u00b7 Windows"},
      {"Microsoft Office/14.0 (Windows NT 6.1; Microsoft Outlook 14.0.7113; Pro)", "", "Outlook 2010 \u00b7 Windows"},
      {"Mozilla/5.0 (iPhone; CPU iPhone OS 16_5 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Mobile/15E148",
       "", "Apple Mail \u00b7 iPhone"},
      {"Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:102.0) Gecko/20100101 Thunderbird/102.6.0", "",
       "Thunderbird 102 \u00b7 Windows"},
      {"Mozilla/5.0 (Windows NT 5.1; rv:11.0) Gecko Firefox/11.0 (via ggpht.com GoogleImageProxy)", "",
       "Gmail (image proxy)"},
      // The classification's reason knows the proxy where the User-Agent says nothing.
      {"Mozilla/5.0", mailwarden::events::kGmailOpen, "Gmail (image proxy)"},
      {"Mozilla/5.0", mailwarden::events::kYahooOpen, "Yahoo Mail (image proxy)"},
      {"something nobody knows", "", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Names().Describe(c.userAgent, c.reason), c.words) << c.userAgent;
  // Asked again, the remembered answer is the same.
  EXPECT_EQ(Names().Describe(cases[0].userAgent), cases[0].words);
}

// RE2 takes no look-around nor back-reference: such a pattern is left out
// and counted, and the patterns after it still match, in their order, with
// their flags and replacements.
TEST(ClientNames, PatternsRe2RefusesAreSkippedAndCounted) {
  const ClientNames names(ParseClientRules(R"(
user_agent_parsers:
  - regex: '(Foo)(?=Bar)'
  - regex: '(Mail)(\w)\2'
  - regex: '(mailer)/(\d+)'
    regex_flag: 'i'
    family_replacement: 'The $1'
  - regex: '(Mailer)/(\d+)'
    family_replacement: 'Second'
os_parsers:
  - regex: '(Plan) (9)'
    os_replacement: '$1 $2 from Bell Labs'
device_parsers:
  - regex: 'Gadget'
    device_replacement: 'Gadget'
)"));
  EXPECT_EQ(names.Skipped(), 2u);
  EXPECT_EQ(names.Patterns(), 6u);
  EXPECT_THAT(names.SkippedPatterns(), ::testing::ElementsAre("(Foo)(?=Bar)", "(Mail)(\\w)\\2"));
  EXPECT_EQ(names.Describe("MAILER/7 (Plan 9)"), "The MAILER 7 \u00b7 Plan 9 from Bell Labs");
  EXPECT_EQ(names.Describe("Mailer/7 Gadget"), "The Mailer 7 \u00b7 Gadget");
}

TEST(ClientNames, DataThatCannotBeReadIsAClearErrorNotACrash) {
  const struct {
    const char* yaml;
    const char* says;
  } cases[] = {
      {"user_agent_parsers: [\n", "not YAML"},
      {"- a list\n", "not a mapping"},
      {"user_agent_parsers: []\nos_parsers: []\n", "device_parsers is missing"},
      {"user_agent_parsers: [{family_replacement: x}]\nos_parsers: []\ndevice_parsers: []\n", "has no regex"},
  };
  for (const auto& c : cases) {
    try {
      ParseClientRules(c.yaml);
      ADD_FAILURE() << c.yaml;
    } catch (const ClientDataError& bad) {
      EXPECT_THAT(bad.what(), ::testing::HasSubstr(c.says)) << c.yaml;
    }
  }
  try {
    ReadClientRules("/nonexistent/regexes.yaml");
    ADD_FAILURE();
  } catch (const ClientDataError& bad) {
    EXPECT_THAT(bad.what(), ::testing::HasSubstr("/nonexistent/regexes.yaml: No such file"));
  }
  // The service goes on without names: the pages show the raw User-Agents.
  EXPECT_EQ(mailwarden::events::SharedClientNames("/nonexistent/regexes.yaml"), nullptr);
}

// Every pattern of the real data RE2 refuses is counted, none lost in silence.
TEST(ClientNames, TheRealDataLeavesOutOnlyWhatRe2Refuses) {
  const auto rules = ReadClientRules(mailwarden::events::DefaultClientData());
  EXPECT_EQ(Names().Patterns(), rules.agents.size() + rules.systems.size() + rules.devices.size());
  EXPECT_GT(rules.agents.size(), 100u);
  std::cout << Names().Skipped() << " of " << Names().Patterns() << " patterns left out\n";
}

}  // namespace

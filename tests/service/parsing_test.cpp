// How the service reads what the add-in escapes: queries, the two recipient
// lists, and text in the add-in's code page.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "protocol/encoding.h"
#include "service/requests/bad_request.h"
#include "service/requests/charset.h"
#include "service/requests/form.h"
#include "service/requests/recipients.h"

namespace {

using mailwarden::BadRequest;

struct DecodeCase {
  const char* escaped;
  std::optional<std::string> plain;
};

TEST(PercentDecode, ReadsWhatTheAddinEscapes) {
  const DecodeCase cases[] = {
      {"a%20b%2Ec", "a b.c"},
      {"2003%2D06%2D25", "2003-06-25"},
      {"17%3A05%3A09", "17:05:09"},
      {"%09tab%0Aline%0d", "\ttab\nline\r"},  // the "%0" prefix below 16, either case
      {"%FF%E9", "\xFF\xE9"},
      {"%00", std::string(1, '\0')},
      {"a+b", "a+b"},  // a plus is a plus: spaces come as %20
      {"", ""},
      {"%", std::nullopt},
      {"%4", std::nullopt},
      {"abc%", std::nullopt},
      {"%G0", std::nullopt},
      {"%0G", std::nullopt},
  };
  for (const DecodeCase& c : cases) EXPECT_EQ(mailwarden::PercentDecode(c.escaped), c.plain) << c.escaped;
}

TEST(PercentDecode, UndoesUrlEscapeForEveryByte) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(mailwarden::PercentDecode(corvanta::protocol::UrlEscape(all)), all);
}

TEST(ParseForm, SplitsFieldsAndBareTokens) {
  mailwarden::Form form = mailwarden::ParseForm("img=1&Stamp42&&subject=a%26b%3Dc&empty=");
  EXPECT_EQ(form.fields.at("img"), "1");
  EXPECT_EQ(form.fields.at("subject"), "a&b=c");
  EXPECT_EQ(form.fields.at("empty"), "");
  EXPECT_EQ(form.tokens, std::vector<std::string>{"Stamp42"});
  EXPECT_EQ(form.Optional("cmd"), std::nullopt);
}

TEST(ParseForm, RefusesRepeatedKeysBrokenEscapesAndMissingFields) {
  EXPECT_THROW(mailwarden::ParseForm("subject=a&subject=b"), BadRequest);
  EXPECT_THROW(mailwarden::ParseForm("subject=%zz"), BadRequest);
  EXPECT_THROW(mailwarden::ParseForm("%zz=1"), BadRequest);
  try {
    mailwarden::ParseForm("a=1").Required("hash");
    FAIL() << "no exception";
  } catch (const BadRequest& refused) {
    EXPECT_STREQ(refused.what(), "Missing field hash.");
  }
}

TEST(DecodeName, ReversesBase62Names) {
  for (const std::string& name :
       std::vector<std::string>{"", "Ann", "Carol Smith (Sales)", "Ren\xE9\xFF", std::string("\0x", 2)}) {
    EXPECT_EQ(mailwarden::DecodeName(corvanta::protocol::s256to62(name)), name);
  }
  for (const char* bad : {"B", "B-", "FA", "zz"}) EXPECT_THROW(mailwarden::DecodeName(bad), BadRequest) << bad;
}

struct RecipientCase {
  const char* what;
  std::vector<mailwarden::Recipient> recipients;
};

std::string NameList(const std::vector<mailwarden::Recipient>& recipients) {
  std::string list;
  for (const auto& r : recipients) list += corvanta::protocol::s256to62(r.name) + " ";
  return list;
}

TEST(ParseRecipients, PairsAddressesWithNames) {
  const RecipientCase cases[] = {
      {"one", {{"bob@example.com", "Bob"}}},
      {"no display name", {{"bob@example.com", ""}, {"eve@example.com", ""}}},
      {"name standing in", {{"Carol Smith", "Carol Smith"}, {"dan@example.org", "Dan"}}},
      {"name standing in, last", {{"dan@example.org", "Dan"}, {"Carol  Smith", "Carol  Smith"}}},
      {"name that starts like the next address", {{"Bob", "Bob x"}, {"x", "X"}}},
  };
  for (const RecipientCase& c : cases) {
    std::string addresses;
    for (const auto& r : c.recipients) addresses += r.address + " ";
    auto parsed = mailwarden::ParseRecipients(addresses, NameList(c.recipients));
    ASSERT_EQ(parsed.size(), c.recipients.size()) << c.what;
    for (std::size_t i = 0; i < parsed.size(); ++i) {
      EXPECT_EQ(parsed[i].address, c.recipients[i].address) << c.what;
      EXPECT_EQ(parsed[i].name, c.recipients[i].name) << c.what;
    }
  }
}

TEST(ParseRecipients, RefusesListsThatDoNotMatch) {
  std::string bob = corvanta::protocol::s256to62("Bob") + " ";
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},                                // no recipient
      {"bob@example.com ", ""},                // no name for the address
      {"bob@example.com", bob},                // address not followed by its space
      {"a@example.com b@example.com ", bob},   // two addresses, one name
      {"bob@example.com ", bob + bob},         // one address, two names
      {" ", bob},                              // empty address
      {"bob@example.com ", bob.substr(0, 6)},  // name not followed by its space
      {"bob@example.com ", "B-Bm "},           // name outside the alphabet
  };
  for (const auto& [addresses, names] : cases) {
    EXPECT_THROW(mailwarden::ParseRecipients(addresses, names), BadRequest)
        << "[" << addresses << "] [" << names << "]";
  }
}

TEST(ParseRecipients, RefusesTooManyRecipients) {
  std::string addresses, names;
  for (std::size_t i = 0; i <= mailwarden::kMaxRecipients; ++i) {
    addresses += "a@b ";
    names += "BC ";
  }
  EXPECT_THROW(mailwarden::ParseRecipients(addresses, names), BadRequest);
}

// The lists' size alone settles these, before the names are decoded.
TEST(CheckListSizes, RefusesListsBeyondTheirBoundsAndTakesThoseAtThem) {
  const std::size_t most = mailwarden::kMaxRecipients;
  struct Case {
    const char* what;
    std::string addresses, names;
    bool refused;
  };
  const Case cases[] = {
      {"addresses at the bound", std::string(2000, 'x'), "BC ", false},
      {"addresses one byte over", std::string(2001, 'x'), "BC ", true},
      {"names one byte over", "x ", std::string(2001, 'B'), true},
      {"the most names", "x ", std::string(most, ' '), false},
      {"one name too many", "x ", std::string(most + 1, ' '), true},
  };
  for (const Case& c : cases) {
    if (c.refused) {
      EXPECT_THROW(mailwarden::CheckListSizes(c.addresses, c.names, 2000), BadRequest) << c.what;
    } else {
      EXPECT_NO_THROW(mailwarden::CheckListSizes(c.addresses, c.names, 2000)) << c.what;
    }
  }
}

// Lists made so that every name could stand in for its address or not: the
// pairing must end (refused or paired) in time and memory bounded by the
// list's size, not search every combination.
TEST(ParseRecipients, AnswersWorstCaseListsWithoutSearchingEveryPairing) {
  struct Hostile {
    const char* what;
    std::size_t count;
    std::size_t shortWords, longWords;  // names alternate between these word counts
    long extraWords;                    // address words beyond what every name standing in uses
    bool pairs;
  };
  const Hostile cases[] = {
      {"300, one word too many", 300, 2, 9, 1, false},
      {"400, one word too many", 400, 1, 12, 1, false},
      {"the most recipients, one word too many", mailwarden::kMaxRecipients, 2, 9, 1, false},
      {"the most recipients, one word short", mailwarden::kMaxRecipients, 3, 7, -1, false},
      {"the most recipients, every name standing in", mailwarden::kMaxRecipients, 2, 9, 0, true},
  };
  for (const Hostile& c : cases) {
    std::vector<mailwarden::Recipient> recipients;
    long words = c.extraWords;
    for (std::size_t i = 0; i < c.count; ++i) {
      std::size_t n = i % 2 ? c.longWords : c.shortWords;
      std::string name = "x";
      for (std::size_t w = 1; w < n; ++w) name += " x";
      recipients.push_back({name, name});
      words += static_cast<long>(n);
    }
    std::string addresses;
    for (long w = 0; w < words; ++w) addresses += "x ";
    if (!c.pairs) {
      EXPECT_THROW(mailwarden::ParseRecipients(addresses, NameList(recipients)), BadRequest) << c.what;
      continue;
    }
    auto parsed = mailwarden::ParseRecipients(addresses, NameList(recipients));
    ASSERT_EQ(parsed.size(), recipients.size()) << c.what;
    EXPECT_EQ(parsed.back().address, recipients.back().address) << c.what;
  }
}

TEST(ToUtf8, KeepsUtf8AndReadsTheRestAsWindows1252) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},
      {"Caf\xC3\xA9", "Caf\xC3\xA9"},                    // already UTF-8
      {"Caf\xE9", "Caf\xC3\xA9"},                        // é in the code page
      {"\x80 5", "\xE2\x82\xAC 5"},                      // the euro sign
      {"\xC3", "\xC3\x83"},                              // a cut UTF-8 sequence is no UTF-8
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},  // an encoded surrogate is no UTF-8
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(mailwarden::ToUtf8(in), out) << in;
    EXPECT_TRUE(mailwarden::IsUtf8(mailwarden::ToUtf8(in)));
  }
}

}  // namespace

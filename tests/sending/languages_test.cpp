// A message in many languages, sent each of the three ways on a Western and
// on a Japanese system: every copy keeps every character, and the requests
// carry the escapes, names and hashes of the system's code page.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "host/sim/mail_store.h"
#include "protocol/encoding.h"
#include "send_world.h"

namespace sendtest {
namespace {

using corvanta::protocol::CharCodes;
using corvanta::protocol::CheckHash;
using host::sim::MailStore;

const std::string kSubject = "Ωμέγα 報告 € 😀";
const std::string kFirstLine = "Grüße Καλημέρα Здравствуйте 日本語のテキスト 한국어 שלום 😀 €";

std::string Times(const std::string& text, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += text;
  return out;
}

// A line of 90 characters (270 bytes) that the wrap cuts after 76.
const std::string kBody = kFirstLine + "\r\n" + Times("日本語", 30);
const std::string kWrappedLine = Times("日本語", 25) + "日\r\n本語" + Times("日本語", 4);

std::vector<SimRecipient> People() {
  return {SimRecipient::Smtp("Ωμέγα", "omega@example.org", RecipientKind::To),
          SimRecipient::Smtp("山田 太郎", "taro@example.org", RecipientKind::Cc),
          SimRecipient::Smtp("Иван €😀", "ivan@example.org", RecipientKind::Bcc)};
}

// The value of a field in a raw (still escaped) query or form body.
std::string Field(const std::string& raw, const std::string& name) {
  const std::string key = name + "=";
  std::size_t at = raw.rfind(key, 0) == 0 ? 0 : raw.find("&" + key);
  if (at == std::string::npos) return {};
  at += at == 0 ? key.size() : key.size() + 1;
  return raw.substr(at, raw.find('&', at) - at);
}

struct CodePageCase {
  unsigned codePage;
  // Worked out by hand from the code page's table.
  std::string subject;   // escaped
  std::string names;     // the name list, each name in base 62 and a blank, escaped
  std::string japanese;  // "日本語" escaped
};

class Languages : public SendWorld, public ::testing::WithParamInterface<CodePageCase> {
 protected:
  void SetUp() override {
    SendWorld::SetUp();
    world.codePage.Set(GetParam().codePage);
    ServeCredit("qo;100");
    ServeStamps("qo;s1 s2 s3");
    ServeUpload("qo;g1 g2 g3");
    Compose(People(), kBody, {}, kSubject);
  }

  enum class Body { Wrapped, AsWritten, None };

  // Every character of the message in each of the three copies in the folder:
  // the body wrapped into an HTML body, or as written (the kept copies of a
  // plain-text message stay plain text).
  void ExpectEveryCharacterIn(const std::string& folder, Body body) {
    const auto stored = In(folder);
    ASSERT_EQ(stored.size(), 3u);
    std::set<std::string> names;
    for (const auto& message : stored) {
      const host::sim::ParsedMail mail = host::sim::ReadEml(message.path);
      EXPECT_NE(mail.subject.find(kSubject), std::string::npos) << mail.subject;
      for (const auto& recipient : mail.recipients) names.insert(recipient.name);
      if (body == Body::AsWritten) {
        EXPECT_NE(mail.body.find(kBody), std::string::npos) << mail.body;
      }
      if (body != Body::Wrapped) continue;
      EXPECT_NE(mail.htmlBody.find(kFirstLine), std::string::npos) << mail.htmlBody;
      EXPECT_NE(mail.htmlBody.find(kWrappedLine), std::string::npos) << "wrapped at 76 characters";
    }
    std::set<std::string> people;
    for (const auto& person : People()) people.insert(person.name);
    EXPECT_EQ(names, people);
  }

  // The hash checks against the hashed fields in the code page's codes.
  void ExpectHashOf(const std::string& hashed, const std::string& raw) {
    EXPECT_TRUE(CheckHash(CharCodes(hashed, world.codePage), Field(raw, "hash"))) << raw.substr(0, 300);
  }

  const std::string addresses = "omega@example.org taro@example.org ivan@example.org ";
};

TEST_P(Languages, AutomaticKeepsEveryCharacterAndAsksInTheCodePage) {
  bool cancel = false;
  addin.autoButton_Click(nullptr, cancel);
  ASSERT_TRUE(Shown().empty()) << Shown().front();
  ExpectEveryCharacterIn(MailStore::kOutbox, Body::Wrapped);

  const auto stamp = RequestsTo(kStampPath);
  ASSERT_EQ(stamp.size(), 1u);
  EXPECT_EQ(Field(stamp[0].query, "subject"), GetParam().subject);
  EXPECT_EQ(Field(stamp[0].query, "toName"), GetParam().names);
  ExpectHashOf("ann@example.org" + addresses + kSubject + "2003-06-25" + "17:05:09", stamp[0].query);
}

TEST_P(Languages, RequestReceiptKeepsEveryCharacter) {
  bool cancel = false;
  addin.requButton_Click(nullptr, cancel);
  ASSERT_TRUE(Shown().empty()) << Shown().front();
  ExpectEveryCharacterIn(MailStore::kOutbox, Body::Wrapped);
  const auto stamp = RequestsTo(kStampPath);
  ASSERT_EQ(stamp.size(), 1u);
  EXPECT_EQ(Field(stamp[0].query, "subject"), GetParam().subject);
}

TEST_P(Languages, GuaranteedKeepsEveryCharacterAndUploadsInTheCodePage) {
  bool cancel = false;
  addin.guarButton_Click(nullptr, cancel);
  ASSERT_TRUE(Shown().empty()) << Shown().front();
  ExpectEveryCharacterIn(MailStore::kSentItems, Body::AsWritten);
  ExpectEveryCharacterIn(MailStore::kOutbox, Body::None);  // the notifications

  const auto upload = RequestsTo(kUploadPath);
  ASSERT_EQ(upload.size(), 1u);
  const std::string& body = upload[0].body;
  EXPECT_EQ(Field(body, "subject"), GetParam().subject);
  EXPECT_EQ(Field(body, "toName"), GetParam().names);
  EXPECT_NE(Field(body, "content").find(GetParam().japanese), std::string::npos);
  std::string names;
  for (const auto& person : People()) names += corvanta::protocol::s256to62(person.name, world.codePage) + " ";
  EXPECT_EQ(corvanta::protocol::UrlEscape(names, world.codePage), GetParam().names);
  ExpectHashOf("ann@example.orgAnn Sender" + addresses + names + kSubject + "2003-06-25" + "17:05:09", body);
}

INSTANTIATE_TEST_SUITE_P(CodePages, Languages,
                         ::testing::Values(
                             // 1252: Greek, Japanese, Cyrillic and each unit of the emoji are "?" (63, "BB"),
                             // the Euro sign is 80 (128, "CE"), a blank is "A6".
                             CodePageCase{1252, "%3F%3F%3F%3F%3F%20%3F%3F%20%80%20%3F%3F",
                                          "BBBBBBBBBB%20BBBBA6BBBB%20BBBBBBBBA6CEBBBB%20", "%3F%3F%3F"},
                             // 932: two bytes each: Ω 83B6, μ 83CA, γ 83C1, α 83BF, 報 95F1, 告 8D90, 山 8E52, 田 9363,
                             // 太 91BE, 郎 9859, И 8449, в 8472, а 8470, н 847E, 日 93FA, 本 967B, 語 8CEA; έ, the
                             // Euro sign and the emoji are "?". In base 62 each byte has its two symbols.
                             CodePageCase{932, "%083B6%083CA%3F%083C1%083BF%20%095F1%08D90%20%3F%20%3F%3F",
                                          "CHCwCHDQBBCHDHCHDF%20CSBUCXBbA6CVDEC2B1%20CIBLCIBqCIBoCICCA6BBBBBB%20",
                                          "%093FA%0967B%08CEA"}),
                         [](const ::testing::TestParamInfo<CodePageCase>& param) {
                           return "CodePage" + std::to_string(param.param.codePage);
                         });

}  // namespace
}  // namespace sendtest

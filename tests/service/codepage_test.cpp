// The sender's code page: the escapes of an add-in on a Japanese (932),
// Chinese (936, 950), Korean (949) or Cyrillic (1251) Windows are read in
// that code page, and kept as UTF-8.
#include "service/requests/codepage.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "service/requests/values.h"
#include "service_fixture.h"

namespace service_test {
namespace {

using corvanta::protocol::HashDraws;
using corvanta::protocol::kStampPath;
using mailwarden::Codes;

// UrlEscape by its rule, over character codes: letters and digits as they
// are, "%0" and one digit below 16, "%" and the hexadecimal digits of the
// code otherwise, a negative code by its 16-bit two's complement.
std::string Escape(const Codes& codes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (int c : codes) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      out += static_cast<char>(c);
      continue;
    }
    unsigned value = static_cast<std::uint16_t>(c);
    std::string digits;
    do {
      digits.insert(digits.begin(), kHex[value % 16]);
      value /= 16;
    } while (value);
    out += (c < 16 ? "%0" : "%") + digits;
  }
  return out;
}

// MakeHash by its rule over character codes, its sums wide enough never to
// overflow; "mod" keeps the sign of the sum, and a check value below 0 is
// written as getSChar writes it, the character of code 65 + n.
std::string HashByTheRule(const Codes& codes, HashDraws d) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyz";
  auto symbol = [](int n) { return n >= 62 ? 'A' : n >= 0 ? kAlphabet[n] : static_cast<char>(65 + n); };
  int h[7] = {0, 0, 0, 0, 0, 0, 0};
  int i = 0;
  for (int c : codes) {
    ++i;
    h[1] = (d.r1 * h[1] + i + d.r2 + d.r3 + c) % 62;
    h[2] = (d.r1 * h[1] + h[2] + i + d.r3 + c) % 62;
    h[3] = (h[2] + h[3] + d.r2 * i + d.r3 + c) % 62;
    h[4] = (h[2] + h[4] + d.r1 + d.r2 * i + c) % 62;
    h[5] = (h[3] + h[5] + d.r1 + i + d.r2 * c) % 62;
    h[6] = (h[5] + h[6] + d.r1 + i + d.r2 + d.r3 * c) % 62;
  }
  std::string hash;
  const int p = d.k % 7;
  auto randoms = [&] { hash += std::string{kAlphabet[d.r1], kAlphabet[d.r2], kAlphabet[d.r3]}; };
  if (p == 0) randoms();
  for (int j = 1; j <= 6; ++j) {
    hash += symbol(h[j]);
    if (j == p) randoms();
  }
  return hash + kAlphabet[d.k];
}

Codes Ascii(const std::string& text) {
  return Codes(text.begin(), text.end());
}

Codes Join(std::initializer_list<Codes> parts) {
  Codes all;
  for (const Codes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(Codepage, EscapesAreReadAsTheCodePageWritesThem) {
  // 会 is 0x89EF and 議 0x8B63 in code page 932: one negative code each.
  const Codes meeting = {0x89EF - 65536, 0x8B63 - 65536};
  EXPECT_EQ(Escape(meeting), "%089EF%08B63");
  EXPECT_EQ(mailwarden::DecodeEscapes("%089EF%08B63", 932, true), meeting);
  EXPECT_EQ(mailwarden::CodesToUtf8(meeting, 932), "\xE4\xBC\x9A\xE8\xAD\xB0");
  // A control character before text that is not a two-byte character stays what it is.
  EXPECT_EQ(mailwarden::DecodeEscapes("%09AB%0D%0A", 932, true), (Codes{9, 'A', 'B', 13, 10}));
  EXPECT_EQ(mailwarden::DecodeEscapes("%089EF", 932, false), (Codes{8, '9', 'E', 'F'}));
  // Half-width katakana are single bytes of 932.
  EXPECT_EQ(mailwarden::CodesToUtf8({0xB1}, 932), "\xEF\xBD\xB1");
  EXPECT_EQ(mailwarden::CodesToUtf8({0xC0, 0xE1}, 1251), "\xD0\x90\xD0\xB1");
  EXPECT_EQ(mailwarden::CodesToUtf8({0x80}, 1252), "\xE2\x82\xAC");
  EXPECT_FALSE(mailwarden::DecodeEscapes("%0", 932, true));
  EXPECT_FALSE(mailwarden::DecodeEscapes("%G1", 1252, false));
}

TEST(Codepage, TheHashOverCodesIsTheAddinsHash) {
  // The worked examples, then inputs with two-byte characters.
  EXPECT_TRUE(mailwarden::CheckHashOfCodes(Ascii("abc"), "FFlBCDfQEK"));
  EXPECT_TRUE(mailwarden::CheckHashOfCodes(Ascii("abc"), "AAAeqWW6tA"));
  EXPECT_FALSE(mailwarden::CheckHashOfCodes(Ascii("abd"), "FFlBCDfQEK"));
  const Codes mixed = Join({Ascii("ann@example.com"), {0x89EF - 65536, 0x8B63 - 65536}, Ascii("2026-03-14")});
  for (HashDraws draws :
       {HashDraws{1, 2, 3, 10}, HashDraws{61, 61, 61, 61}, HashDraws{0, 0, 0, 0}, HashDraws{17, 40, 5, 33}}) {
    const std::string hash = HashByTheRule(mixed, draws);
    EXPECT_TRUE(mailwarden::CheckHashOfCodes(mixed, hash)) << hash;
    EXPECT_FALSE(mailwarden::CheckHashOfCodes(Ascii("ann@example.com"), hash)) << hash;
  }
}

class CodepageServiceTest : public ServiceTest {
 protected:
  // A stamp request as the add-in on that code page writes it; the subject as codes.
  std::string AskStampsIn(const std::string& from, const Codes& subject) {
    const Codes address = Ascii("bob@example.org "), date = Ascii("2026-03-14"), time = Ascii("12:00:00");
    const std::string query = "fromAddy=" + Escape(Ascii(from)) + "&toAddy=" + Escape(address) +
                              "&toName=" + Escape(Ascii(corvanta::protocol::s256to62("Bob") + " ")) +
                              "&subject=" + Escape(subject) + "&curDate=" + Escape(date) + "&curTime=" + Escape(time) +
                              "&hash=" +
                              // With two-byte characters the hash may hold characters outside the
                              // alphabet ("&", "@", ...), so it goes escaped like any value.
                              Escape(Ascii(HashByTheRule(Join({Ascii(from), address, subject, date, time}), Draws())));
    return GetText(kStampPath, query);
  }
  std::string SubjectOf(const std::string& stamp) { return server_->Store().FindStamp(stamp)->subject; }
  // A certified upload as the add-in on that code page writes it; the sender's name, subject and content as codes.
  std::string UploadIn(const std::string& from, const Codes& name, const Codes& subject, const Codes& content) {
    const Codes address = Ascii("bob@example.org "), names = Ascii(corvanta::protocol::s256to62("Bob") + " "),
                date = Ascii("2026-03-14"), time = Ascii("12:00:00");
    const std::string body =
        "fromAddy=" + Escape(Ascii(from)) + "&fromName=" + Escape(name) + "&toAddy=" + Escape(address) +
        "&toName=" + Escape(names) + "&subject=" + Escape(subject) + "&curDate=" + Escape(date) +
        "&curTime=" + Escape(time) + "&content=" + Escape(content) + "&isHTML=0&hash=" +
        Escape(Ascii(HashByTheRule(Join({Ascii(from), name, address, names, subject, date, time}), Draws())));
    httplib::Result reply = Post(corvanta::protocol::kUploadPath, body);
    return reply ? reply->body : "";
  }
  mailwarden::store::Certified Read(const std::string& stamp) {
    mailwarden::store::NewEvent read;
    read.stamp = stamp;
    read.type = mailwarden::store::EventType::kRead;
    read.time = mailwarden::SystemNow();
    return server_->Store().ReadCertified(read);
  }
};

TEST_F(CodepageServiceTest, AJapaneseSendersSubjectIsKeptAsUtf8) {
  server_->Store().AddAccount("taro@example.jp", 10, mailwarden::SystemNow());
  server_->Store().SetCodepage("taro@example.jp", 932);
  const Codes meeting = {0x89EF - 65536, 0x8B63 - 65536, ' ', '1', 0xB1};
  auto stamps = StampsOf(AskStampsIn("taro@example.jp", meeting));
  ASSERT_EQ(stamps.size(), 1u);
  EXPECT_EQ(SubjectOf(stamps[0]), "\xE4\xBC\x9A\xE8\xAD\xB0 1\xEF\xBD\xB1");

  // Backspace and "82A0" escape exactly as the two-byte character 0x82A0 does; the hash tells them apart.
  const Codes control = {8, '2', 'A', '0'};
  ASSERT_EQ(Escape(control), Escape({0x82A0 - 65536}));
  stamps = StampsOf(AskStampsIn("taro@example.jp", control));
  ASSERT_EQ(stamps.size(), 1u);
  EXPECT_EQ(SubjectOf(stamps[0]), "\b2A0");
  stamps = StampsOf(AskStampsIn("taro@example.jp", {0x82A0 - 65536}));
  ASSERT_EQ(stamps.size(), 1u);
  EXPECT_EQ(SubjectOf(stamps[0]), "\xE3\x81\x82");
}

TEST_F(CodepageServiceTest, ACyrillicSendersBytesAreReadInTheirCodePage) {
  server_->Store().AddAccount("ivan@example.ru", 10, mailwarden::SystemNow());
  server_->Store().SetCodepage("ivan@example.ru", 1251);
  auto stamps = StampsOf(AskStampsIn("ivan@example.ru", {0xC0, 0xE1, 'c'}));
  ASSERT_EQ(stamps.size(), 1u);
  EXPECT_EQ(SubjectOf(stamps[0]),
            "\xD0\x90\xD0\xB1"
            "c");
  // The same bytes from a sender on the default code page are Windows-1252.
  stamps = StampsOf(AskStampsIn("ann@example.com", {0xC0, 0xE1, 'c'}));
  ASSERT_EQ(stamps.size(), 1u);
  EXPECT_EQ(SubjectOf(stamps[0]),
            "\xC3\x80\xC3\xA1"
            "c");
}

struct DoubleByteCase {
  int codepage;
  Codes subject;
  std::string text;  // in UTF-8
};

Codes TwoByte(std::initializer_list<int> characters) {
  Codes codes;
  for (int c : characters) codes.push_back(c - 65536);
  return codes;
}

const DoubleByteCase kDoubleByte[] = {
    {932, TwoByte({0x89EF, 0x8B63, 0x82C5, 0x82B7}), "\u4F1A\u8B70\u3067\u3059"},  // 会議です
    {936, TwoByte({0xBBE1, 0xD2E9}), "\u4F1A\u8BAE"},                              // 会议
    {949, TwoByte({0xC8B8, 0xC0C7}), "\uD68C\uC758"},                              // 회의
    {950, TwoByte({0xB77C, 0xC4B3}), "\u6703\u8B70"},                              // 會議
};

TEST_F(CodepageServiceTest, ASenderOnADoubleByteWindowsSendsFromAFreshAccount) {
  for (const DoubleByteCase& c : kDoubleByte) {
    const std::string sender = "fresh" + std::to_string(c.codepage) + "@example.com";
    server_->Store().AddAccount(sender, 10, mailwarden::SystemNow());
    auto stamps = StampsOf(AskStampsIn(sender, c.subject));
    ASSERT_EQ(stamps.size(), 1u) << c.codepage;
    // Japanese with kana is clear; Chinese and Korean overlap, so no guess
    // is made, and no other script's text either.
    EXPECT_EQ(SubjectOf(stamps[0]), c.codepage == 932 ? c.text : "\uFFFD\uFFFD") << c.codepage;

    // Setting the code page later reads the earlier message again from what was received.
    server_->Store().SetCodepage(sender, c.codepage);
    EXPECT_EQ(mailwarden::ReadKeptTextsAgain(server_->Store(), sender, c.codepage), 1) << c.codepage;
    EXPECT_EQ(SubjectOf(stamps[0]), c.text) << c.codepage;
    EXPECT_TRUE(server_->Store().KeptTexts(sender).empty()) << c.codepage;
    stamps = StampsOf(AskStampsIn(sender, c.subject));
    ASSERT_EQ(stamps.size(), 1u) << c.codepage;
    EXPECT_EQ(SubjectOf(stamps[0]), c.text) << c.codepage;
    EXPECT_TRUE(server_->Store().KeptTexts(sender).empty()) << "read for sure, nothing to keep";
  }
  // Kanji alone could as well be Chinese: not guessed.
  server_->Store().AddAccount("kanji@example.com", 10, mailwarden::SystemNow());
  auto stamps = StampsOf(AskStampsIn("kanji@example.com", TwoByte({0x89EF, 0x8B63})));
  ASSERT_EQ(stamps.size(), 1u);
  EXPECT_EQ(SubjectOf(stamps[0]), "\uFFFD\uFFFD");
  // A control character before hexadecimal digits from a Western sender is what it is.
  stamps = StampsOf(AskStampsIn("kanji@example.com", {8, '8', '2', 'A', '0'}));
  ASSERT_EQ(stamps.size(), 1u);
  EXPECT_EQ(SubjectOf(stamps[0]), "\b82A0");
}

TEST_F(CodepageServiceTest, TheDefaultCodePageReadsNewSendersAndIsGivenToTheAccountsTheServiceMakes) {
  for (const DoubleByteCase& c : kDoubleByte) {
    mailwarden::ServeOptions options = mailwarden::LoopbackOptions(100);
    options.service.defaultCodepage = c.codepage;
    Restart(options);
    const std::string sender = "new@example.com";
    auto stamps = StampsOf(AskStampsIn(sender, c.subject));
    ASSERT_EQ(stamps.size(), 1u) << c.codepage;
    EXPECT_EQ(SubjectOf(stamps[0]), c.text) << c.codepage;
    ASSERT_TRUE(server_->Store().FindAccount(sender)) << c.codepage;
    EXPECT_EQ(server_->Store().FindAccount(sender)->codepage, c.codepage);
    // An account left on 1252 is read in the default too when its codes are two-byte.
    server_->Store().AddAccount("western@example.com", 10, mailwarden::SystemNow());
    stamps = StampsOf(AskStampsIn("western@example.com", c.subject));
    ASSERT_EQ(stamps.size(), 1u) << c.codepage;
    EXPECT_EQ(SubjectOf(stamps[0]), c.text) << c.codepage;
  }
}

TEST_F(CodepageServiceTest, CertifiedMailOfAKoreanSenderIsReadAgainWhenTheCodePageIsSet) {
  const Codes name = TwoByte({0xB1E8}), subject = TwoByte({0xC8B8, 0xC0C7}),  // 김, 회의
      content = Join({TwoByte({0xBEC8, 0xB3E7}), Ascii(" 1\r\n")});           // 안녕
  server_->Store().AddAccount("kim@example.kr", 10, mailwarden::SystemNow());
  auto stamps = StampsOf(UploadIn("kim@example.kr", name, subject, content));
  ASSERT_EQ(stamps.size(), 1u);
  mailwarden::store::Certified before = Read(stamps[0]);
  EXPECT_EQ(before.content, "\uFFFD\uFFFD 1\r\n");
  EXPECT_EQ(before.fromName, "\uFFFD");

  server_->Store().SetCodepage("kim@example.kr", 949);
  EXPECT_EQ(mailwarden::ReadKeptTextsAgain(server_->Store(), "kim@example.kr", 949), 1);
  mailwarden::store::Certified after = Read(stamps[0]);
  EXPECT_EQ(after.content, "\uC548\uB155 1\r\n");
  EXPECT_EQ(after.fromName, "\uAE40");
  EXPECT_EQ(after.info.subject, "\uD68C\uC758");
  EXPECT_EQ(after.info.recipient, "bob@example.org");
  EXPECT_EQ(after.info.recipientName, "Bob");
  // Sent once the code page is set, it reads right at once, content and all.
  stamps = StampsOf(UploadIn("kim@example.kr", name, subject, content));
  ASSERT_EQ(stamps.size(), 1u);
  EXPECT_EQ(Read(stamps[0]).content, "\uC548\uB155 1\r\n");
}

}  // namespace
// A line break or tab and the letters after it read like a two-byte escape
// ("%0ADear" as "%0" and ADEA): a sender on a single-byte page keeps them.
TEST_F(CodepageServiceTest, CertifiedTextFromASingleBytePageKeepsItsLineBreaks) {
  const std::string text = "Hello\r\nDear Bob,\r\nAdded:\tface\r\nDecember\r\n";
  auto stamps = StampsOf(UploadIn("ann@example.com", Ascii("Ann"), Ascii("Minutes"), Ascii(text)));
  ASSERT_EQ(stamps.size(), 1u);
  EXPECT_EQ(Read(stamps[0]).content, text);
}

}  // namespace service_test

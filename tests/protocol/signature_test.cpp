// SHA-256 and HMAC-SHA256 against their published vectors, and the request signature.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/hmac_sha256.h"
#include "protocol/request_signature.h"

namespace {

using namespace corvanta::protocol;

std::string Hex(const Digest& digest) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (auto byte : digest) text += {digits[byte >> 4], digits[byte & 15]};
  return text;
}

std::vector<std::uint8_t> Repeat(std::uint8_t byte, std::size_t count) {
  return std::vector<std::uint8_t>(count, byte);
}

TEST(Sha256, MatchesTheStandardsExamples) {  // FIPS 180-4, and the NIST example values
  EXPECT_EQ(Hex(Sha256(Bytes("abc"))), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Hex(Sha256(Bytes(""))), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Hex(Sha256(Bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"))),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Hex(Sha256(Repeat('a', 1000000))), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(HmacSha256, MatchesRfc4231) {
  struct Case {
    std::vector<std::uint8_t> key;
    std::vector<std::uint8_t> data;
    std::string mac;  // test case 5 gives only the first 128 bits
  };
  const std::string largeKeyData =
      "This is a test using a larger than block-size key and a larger than block-size data. The key needs to be "
      "hashed before being used by the HMAC algorithm.";
  auto bytes = [](std::string_view text) { return std::vector<std::uint8_t>(text.begin(), text.end()); };
  std::vector<std::uint8_t> counting;
  for (std::uint8_t i = 1; i <= 25; ++i) counting.push_back(i);
  const Case cases[] = {
      {Repeat(0x0b, 20), bytes("Hi There"), "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {bytes("Jefe"), bytes("what do ya want for nothing?"),
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {Repeat(0xaa, 20), Repeat(0xdd, 50), "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
      {counting, Repeat(0xcd, 50), "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
      {Repeat(0x0c, 20), bytes("Test With Truncation"), "a3b6167473100ee06e0c796c2955552b"},
      {Repeat(0xaa, 131), bytes("Test Using Larger Than Block-Size Key - Hash Key First"),
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {Repeat(0xaa, 131), bytes(largeKeyData), "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
  };
  int number = 1;
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(HmacSha256(c.key, c.data)).substr(0, c.mac.size()), c.mac) << "RFC 4231 test case " << number;
    ++number;
  }
}

const AddinKey kKey = *ParseAddinKey("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");

TEST(AddinKey, ReadsAsPastedAndRefusesAnythingElse) {
  const std::string text = AddinKeyText(kKey);
  EXPECT_EQ(text, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  EXPECT_EQ(ParseAddinKey(" 00010203-0405060708090A0B0C0D0E0F 101112131415161718191a1b1c1d1e1f\t"), kKey);
  for (const char* wrong : {"", "0001", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f00",
                            "g00102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1",
                            "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1"}) {
    EXPECT_FALSE(ParseAddinKey(wrong)) << wrong;
  }
}

TEST(RequestSignature, AppendsTimeAndSignatureThatTheServiceChecks) {
  const std::string query = "fromAddy=ann%40example%2Ecom&toAddy=bob%40example%2Enet&hash=ABCDEFGHIJ";
  const std::string signature = SignRequest(query, kKey, 1797000000);
  ASSERT_EQ(signature.rfind("&kt=1797000000&ks=", 0), 0u) << signature;
  const std::string signedText = query + signature;
  EXPECT_EQ(signedText.substr(signedText.find("&ks=") + 4), Hex(HmacSha256(kKey, Bytes(query + "&kt=1797000000"))));

  const auto parts = SplitSignature(signedText);
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->unsignedText, query);
  EXPECT_EQ(parts->time, 1797000000);
  EXPECT_TRUE(CheckSignature(*parts, kKey));

  AddinKey other = kKey;
  other[31] ^= 1;
  EXPECT_FALSE(CheckSignature(*parts, other)) << "another key";
  std::string changed = signedText;
  changed[changed.find("bob")] = 'r';
  EXPECT_FALSE(CheckSignature(*SplitSignature(changed), kKey)) << "a changed request";
  std::string later = signedText;
  later.replace(later.find("1797000000"), 10, "1797000001");
  EXPECT_FALSE(CheckSignature(*SplitSignature(later), kKey)) << "another time";
}

TEST(RequestSignature, ARequestWithoutAWellFormedSignatureHasNone) {
  const std::string valid(64, 'a');
  for (const std::string& text : std::vector<std::string>{
           "fromAddy=a&hash=B", "fromAddy=a&ks=" + valid, "fromAddy=a&kt=&ks=" + valid, "fromAddy=a&kt=12x&ks=" + valid,
           "fromAddy=a&kt=12&ks=abc", "fromAddy=a&ks=" + valid + "&kt=12"}) {
    EXPECT_FALSE(SplitSignature(text)) << text;
  }
}

}  // namespace

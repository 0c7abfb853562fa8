// The request hash: MakeHash against a plain transcription of the rule; what
// it makes, with given draws and with a generator that strays to 1, below 0,
// NaN or infinity, CheckHash accepts; a hash with one check symbol changed
// it refuses.
//
// Input: four bytes for the draws (R1, R2, R3, k: each byte mod 62 for the
// given draws; byte / 252 as the generator's number, 252 to 255 giving 1,
// a little below 0, NaN and infinity); then the text, and after a NUL a
// candidate hash for CheckHash. The text's character codes are read as a
// double-byte code page has them (a lead byte 81-9F or E0-FC and the byte
// after it make one negative code, any other byte its own code); the
// generator's hash reads the text as UTF-8 through code page 932.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "host/sim/services.h"
#include "protocol/encoding.h"
#include "support/check.h"

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyz";

bool InAlphabet(const std::string& hash) {
  for (const char c : hash)
    if (kAlphabet.find(c) == std::string_view::npos) return false;
  return true;
}

class FedRandom : public host::Random {
 public:
  explicit FedRandom(const std::uint8_t* bytes) : bytes_(bytes) {}
  void Randomize() override { ++randomized; }
  double Rnd() override {
    const std::uint8_t byte = bytes_[next_++ % 4];
    switch (byte) {
      case 252:
        return 1.0;
      case 253:
        return -1e-9;
      case 254:
        return std::numeric_limits<double>::quiet_NaN();
      case 255:
        return std::numeric_limits<double>::infinity();
      default:
        return byte / 252.0;
    }
  }
  int randomized = 0;

 private:
  const std::uint8_t* bytes_;
  std::size_t next_ = 0;
};

// Where the six check symbols stand for a given k: R1-R3 follow the first k mod 7 of them.
std::size_t CheckPosition(int k, int j) {
  return j < k % 7 ? static_cast<std::size_t>(j) : static_cast<std::size_t>(j + 3);
}

using corvanta::protocol::Codes;

Codes DoubleByteCodes(const std::string& text) {
  Codes codes;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) && at + 1 < text.size()) {
      codes.push_back(static_cast<std::int16_t>(lead << 8 | static_cast<unsigned char>(text[++at])));
    } else {
      codes.push_back(lead);
    }
  }
  return codes;
}

// The hash rule as it reads, with the position counted from 1 and every sum
// in 64 bits (wide enough for any input here, so nothing overflows); a check
// value a negative code leaves below 0 is written as its value plus 62.
std::string HashByTheRule(const Codes& input, const corvanta::protocol::HashDraws& d) {
  std::int64_t h1 = 0, h2 = 0, h3 = 0, h4 = 0, h5 = 0, h6 = 0, i = 0;
  const std::int64_t r1 = d.r1, r2 = d.r2, r3 = d.r3;
  for (const std::int16_t code : input) {
    ++i;
    const std::int64_t c = code;
    h1 = (r1 * h1 + i + r2 + r3 + c) % 62;
    h2 = (r1 * h1 + h2 + i + r3 + c) % 62;
    h3 = (h2 + h3 + r2 * i + r3 + c) % 62;
    h4 = (h2 + h4 + r1 + r2 * i + c) % 62;
    h5 = (h3 + h5 + r1 + i + r2 * c) % 62;
    h6 = (h5 + h6 + r1 + i + r2 + r3 * c) % 62;
  }
  const std::int64_t checks[] = {h1, h2, h3, h4, h5, h6};
  const std::string randoms{kAlphabet[r1], kAlphabet[r2], kAlphabet[r3]};
  const int p = d.k % 7;
  std::string hash = p == 0 ? randoms : "";
  for (int j = 1; j <= 6; ++j) {
    hash += kAlphabet[checks[j - 1] < 0 ? checks[j - 1] + 62 : checks[j - 1]];
    if (j == p) hash += randoms;
  }
  return hash + kAlphabet[d.k];
}

std::string Shown(const Codes& codes) {
  std::string shown;
  for (const std::int16_t code : codes) shown += std::to_string(code) + " ";
  return shown;
}

void CheckMade(const Codes& text, const std::string& hash, const char* how) {
  if (hash.size() != 10 || !InAlphabet(hash)) fuzz::Fail("a hash is ten symbols of the alphabet", how);
  if (!corvanta::protocol::CheckHash(text, hash)) {
    fuzz::Fail("CheckHash accepts what MakeHash made", std::string(how) + ": " + hash + " for " + Shown(text));
  }
}

}  // namespace

// The transcription itself against the worked examples of the rule.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const Codes abc{'a', 'b', 'c'};
  fuzz::Require(HashByTheRule(abc, {1, 2, 3, 10}) == "FFlBCDfQEK" && HashByTheRule(abc, {0, 0, 0, 0}) == "AAAeqWW6tA" &&
                    HashByTheRule(DoubleByteCodes("\x82\xA0"), {1, 2, 3, 10}) == "0oNBCDLtvK",
                "the transcribed hash rule gives the worked examples");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  using namespace corvanta::protocol;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 4, size - 4);
  const std::size_t nul = rest.find('\0');
  const std::string bytes(rest.substr(0, nul));
  const Codes text = DoubleByteCodes(bytes);
  const std::string candidate = nul == std::string_view::npos ? std::string() : std::string(rest.substr(nul + 1));

  const HashDraws draws{data[0] % 62, data[1] % 62, data[2] % 62, data[3] % 62};
  const std::string hash = MakeHash(text, draws);
  CheckMade(text, hash, "given draws");
  if (hash != HashByTheRule(text, draws)) fuzz::Fail("MakeHash follows the rule", hash + " for " + Shown(text));
  fuzz::Require(hash[9] == kAlphabet[draws.k], "k is the last symbol");
  const std::size_t p = static_cast<std::size_t>(draws.k % 7);
  fuzz::Require(
      hash[p] == kAlphabet[draws.r1] && hash[p + 1] == kAlphabet[draws.r2] && hash[p + 2] == kAlphabet[draws.r3],
      "R1 to R3 stand after the first k mod 7 check symbols");
  for (int j = 0; j < 6; ++j) {
    std::string changed = hash;
    char& symbol = changed[CheckPosition(draws.k, j)];
    symbol = kAlphabet[(kAlphabet.find(symbol) + 1 + data[j % 4] % 61) % 62];  // never itself
    fuzz::Require(!CheckHash(text, changed), "a changed check symbol is refused");
  }

  static host::sim::SimCodePage japanese;
  static const bool set = (japanese.Set(932), true);
  (void)set;
  const Codes read = CharCodes(bytes, japanese);
  FedRandom random(data);
  const std::string drawn = MakeHash(bytes, japanese, random);
  CheckMade(read, drawn, "the generator's draws");
  fuzz::Require(random.randomized == 1, "the generator is re-seeded once per hash");
  bool plain = true;
  HashDraws expected;
  int* const slots[] = {&expected.r1, &expected.r2, &expected.r3, &expected.k};
  for (int i = 0; i < 4; ++i) {
    plain = plain && data[i] < 252;
    *slots[i] = static_cast<int>(std::floor(data[i] / 252.0 * 62));
  }
  if (plain) fuzz::Require(drawn == MakeHash(read, expected), "each draw is the number times 62, rounded down");

  const bool accepted = CheckHash(text, candidate);
  if (candidate.size() != 10 || !InAlphabet(candidate)) fuzz::Require(!accepted, "only ten symbols can be a hash");
  if (accepted) {
    const int k = static_cast<int>(kAlphabet.find(candidate[9]));
    const std::size_t at = static_cast<std::size_t>(k % 7);
    const HashDraws given{static_cast<int>(kAlphabet.find(candidate[at])),
                          static_cast<int>(kAlphabet.find(candidate[at + 1])),
                          static_cast<int>(kAlphabet.find(candidate[at + 2])), k};
    fuzz::Require(MakeHash(text, given) == candidate, "an accepted hash is the one MakeHash makes");
  }
  return 0;
}

#pragma once
// Request encoding: value escaping, the 62-symbol alphabet, display names in
// base 62, and the ten-symbol request hash with its check for the service side.
#include <cstdint>
#include <string>

#include "host/services.h"

namespace corvanta::protocol {

// The symbol of digit value n: "A"-"Z", "0"-"9", "a"-"z"; 62 and above give "A".
std::string getSChar(std::int16_t n);

// Each character becomes two symbols: floor(c / 62) and c mod 62.
std::string s256to62(const std::string& str);

// Letters and digits stay; every other character becomes "%" and its
// upper-case hexadecimal code ("%0" and one digit below 16).
std::string UrlEscape(const std::string& value);

// The four draws of one hash: R1, R2, R3 and k, each 0 to 61.
struct HashDraws {
  int r1 = 0, r2 = 0, r3 = 0, k = 0;
};

// MakeHash with given draws (what the generator's four draws produce).
std::string MakeHash(const std::string& input, const HashDraws& draws);
// MakeHash as the add-in calls it: re-seeds the generator from the clock,
// then draws R1, R2, R3 and, after the input, k.
std::string MakeHash(const std::string& input, host::Random& random);

// For the service: whether hash was made by MakeHash from input (R1 to R3
// and k are read back from the hash itself).
bool CheckHash(const std::string& input, const std::string& hash);

}  // namespace corvanta::protocol

#pragma once
// Request encoding: value escaping, the 62-symbol alphabet, display names in
// base 62, and the ten-symbol request hash with its check for the service side.
//
// Each routine reads its text one character (UTF-16 unit) at a time, by the
// character's code in the system's code page: 0 to 255 for one byte, a
// two-byte character as one negative 16-bit number, "?" for a character the
// code page lacks. The add-in passes UTF-8 text with the platform's code
// page; the service, which gets the codes back from the escapes, passes codes.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/services.h"

namespace corvanta::protocol {

using Codes = std::vector<std::int16_t>;

// The code of each UTF-16 unit of a UTF-8 text in the given code page.
Codes CharCodes(std::string_view text, host::CodePage& codePage);
// Each byte as a code 0 to 255: text of a single-byte code page as it stands.
Codes ByteCodes(std::string_view bytes);

// The symbol of digit value n: "A"-"Z", "0"-"9", "a"-"z"; 62 and above give "A".
std::string getSChar(std::int16_t n);

// Each character becomes two symbols: floor(c / 62) and c mod 62. A
// two-byte character becomes the two symbols of each of its bytes, so that
// every symbol is one of the alphabet and the service can read the bytes back.
std::string s256to62(std::span<const std::int16_t> codes);
std::string s256to62(std::string_view text, host::CodePage& codePage);
std::string s256to62(const std::string& bytes);

// Letters and digits stay; every other character becomes "%" and its
// upper-case hexadecimal code ("%0" and one digit below 16; a two-byte
// character "%0" and its four digits).
std::string UrlEscape(std::span<const std::int16_t> codes);
std::string UrlEscape(std::string_view text, host::CodePage& codePage);
std::string UrlEscape(const std::string& bytes);

// The four draws of one hash: R1, R2, R3 and k, each 0 to 61.
struct HashDraws {
  int r1 = 0, r2 = 0, r3 = 0, k = 0;
};

// MakeHash with given draws (what the generator's four draws produce).
std::string MakeHash(std::span<const std::int16_t> codes, const HashDraws& draws);
std::string MakeHash(const std::string& bytes, const HashDraws& draws);
// MakeHash as the add-in calls it: re-seeds the generator from the clock,
// then draws R1, R2, R3 and, after the input, k.
std::string MakeHash(std::string_view text, host::CodePage& codePage, host::Random& random);

// For the service: whether hash was made by MakeHash from input (R1 to R3
// and k are read back from the hash itself).
bool CheckHash(std::span<const std::int16_t> codes, const std::string& hash);
bool CheckHash(const std::string& bytes, const std::string& hash);

}  // namespace corvanta::protocol

#pragma once
// The add-in escapes each character by its code in the sender's Windows
// code page: "%XX" for a byte (0 to 255), and "%0" with four hexadecimal
// digits for a two-byte character of a double-byte code page (its code as a
// negative 16-bit number). The hash is made over those codes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mailwarden {

// One code per character: 0 to 255, or -32768 to -1 for a two-byte character.
using Codes = std::vector<int>;

// 932, 936, 949 and 950.
bool IsDoubleByte(int codepage);

// Whether two-byte codes are clearly Japanese text of code page 932: every
// two-byte character is one of 932's and kana are among them. Chinese and
// Korean code pages overlap too much to be told apart from each other.
bool LooksJapanese(const Codes& codes);

// The characters of an escaped value. With twoByte, "%0" and four
// hexadecimal digits whose first byte is a lead byte of the code page is one
// two-byte character; otherwise "%0X" is the byte X. Nothing on a broken escape.
std::optional<Codes> DecodeEscapes(std::string_view escaped, int codepage, bool twoByte);

// Whether hash was made by the add-in's hash over these codes (the draws
// are read back from the hash; sums are computed wide, as the add-in does).
bool CheckHashOfCodes(const Codes& codes, const std::string& hash);

// The text in UTF-8. Code page 1252 keeps text that already is UTF-8 (the
// add-in on Linux sends UTF-8); a byte or character the code page lacks
// becomes U+FFFD. Throws std::invalid_argument for a code page the system
// cannot convert.
std::string CodesToUtf8(const Codes& codes, int codepage);
// The bytes of the codes in their code page (a two-byte character as its two bytes).
std::string CodesToBytes(const Codes& codes);
std::string BytesToUtf8(std::string_view bytes, int codepage);

}  // namespace mailwarden

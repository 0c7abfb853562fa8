// Writes the hostile benchmark's worst requests with right hashes, as anyone
// can make them (the hash is public):
//   line 1: the body of a certified upload whose display names could each
//           stand in for their address or not, alternating between two word
//           counts, with one address word more than any pairing uses;
//   then:   CREDITS credit query targets, each for a random 7 KB address.
//   hostile_requests RECIPIENTS CREDITS > hostile.txt
#include <cstdlib>
#include <iostream>
#include <random>
#include <sstream>
#include <string>

#include "protocol/encoding.h"
#include "protocol/service.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: hostile_requests RECIPIENTS CREDITS\n";
    return 2;
  }
  const int recipients = std::atoi(argv[1]), credits = std::atoi(argv[2]);
  using corvanta::protocol::MakeHash;
  using corvanta::protocol::UrlEscape;
  std::mt19937 random(1999);
  std::uniform_int_distribution<int> digit(0, 61);
  const auto draws = [&] {
    return corvanta::protocol::HashDraws{digit(random), digit(random), digit(random), digit(random)};
  };

  std::ostringstream addressText, nameText;
  for (int r = 0; r < recipients; ++r) {
    std::string name = "x";
    for (int w = 1; w < (r % 2 ? 9 : 2); ++w) name += " x";
    addressText << name << " ";
    nameText << corvanta::protocol::s256to62(name) << " ";
  }
  addressText << "x ";
  const std::string from = "sender0@example.com", fromName = "Sender", addresses = addressText.str(),
                    names = nameText.str(), subject = "Worst case", date = "2026-03-14", time = "12:00:00";
  std::cout << "fromAddy=" << UrlEscape(from) << "&fromName=" << UrlEscape(fromName)
            << "&toAddy=" << UrlEscape(addresses) << "&toName=" << UrlEscape(names) << "&subject=" << UrlEscape(subject)
            << "&curDate=" << UrlEscape(date) << "&curTime=" << UrlEscape(time) << "&content=" << UrlEscape("Hello")
            << "&isHTML=0"
            << "&hash=" << MakeHash(from + fromName + addresses + names + subject + date + time, draws()) << "\n";

  std::uniform_int_distribution<int> letter('a', 'z');
  for (int i = 0; i < credits; ++i) {
    std::string address(7 * 1024, 'a');
    for (char& c : address) c = static_cast<char>(letter(random));
    address += "@example.com";
    std::cout << corvanta::protocol::kCreditPath << "?email=" << UrlEscape(address)
              << "&hash=" << MakeHash(address, draws()) << "\n";
  }
  return 0;
}

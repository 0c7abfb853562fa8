// Writes stamp requests as the add-in makes them, one request target per
// line, for the load benchmark's wrk script: SENDERS senders in turn, each
// request for RECIPIENTS recipients, each with its own subject and hash.
//   service_load_requests COUNT SENDERS RECIPIENTS > requests.txt
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <random>
#include <sstream>
#include <string>

#include "protocol/encoding.h"
#include "protocol/service.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: service_load_requests COUNT SENDERS RECIPIENTS\n";
    return 2;
  }
  const int count = std::atoi(argv[1]), senders = std::atoi(argv[2]), recipients = std::atoi(argv[3]);
  using corvanta::protocol::MakeHash;
  using corvanta::protocol::s256to62;
  using corvanta::protocol::UrlEscape;
  std::mt19937 random(2003);
  std::uniform_int_distribution<int> digit(0, 61);
  for (int i = 0; i < count; ++i) {
    // Built with streams: GCC 12 warns wrongly about chains of string additions at -O3.
    std::ostringstream fromText, addressText, nameText, subjectText;
    fromText << "sender" << i % senders << "@example.com";
    for (int r = 0; r < recipients; ++r) {
      addressText << "r" << r << ".of" << i % senders << "@example.org ";
      std::ostringstream name;
      name << "Recipient " << r;
      nameText << s256to62(name.str()) << " ";
    }
    subjectText << "Load message " << i;
    const std::string from = fromText.str(), addresses = addressText.str(), names = nameText.str(),
                      subject = subjectText.str(), date = "2026-03-14", time = "12:00:00";
    const corvanta::protocol::HashDraws draws{digit(random), digit(random), digit(random), digit(random)};
    std::cout << corvanta::protocol::kStampPath << "?fromAddy=" << UrlEscape(from) << "&toAddy=" << UrlEscape(addresses)
              << "&toName=" << UrlEscape(names) << "&subject=" << UrlEscape(subject) << "&curDate=" << UrlEscape(date)
              << "&curTime=" << UrlEscape(time) << "&hash=" << MakeHash(from + addresses + subject + date + time, draws)
              << "\n";
  }
  return 0;
}

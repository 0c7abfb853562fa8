// mailwarden's three requests, called without a socket: any text gets
// "qo;" or "qx;" and a reason; a request written the way the add-in writes
// it, with a right hash, is answered as the rules say, with one safe stamp
// per recipient recorded for that recipient.
//
// Input: the last byte picks the request (bits 0-1: 0 the credit query, 1 the
// stamp request, 2 the upload) and bit 2 how the rest is read: clear, as the
// query or body itself; set, as lines for the add-in to write a request from:
// sender address, sender name, subject, date, time, content, four draw
// symbols, then one line per recipient, "address<TAB>name" (no tab: a
// recipient without an address, whose name stands in for it).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "protocol/encoding.h"
#include "sending/stamps.h"
#include "service/requests/charset.h"
#include "service/requests/requests.h"
#include "service/service.h"
#include "service/store/store.h"
#include "support/check.h"

namespace {

constexpr int kStartingCredit = 8;
// As the service bounds them: an address (RFC 5321), and a stamp request's
// recipient lists (the add-in's whole query is at most 2,000 characters).
constexpr std::size_t kLongestAddress = 254;
constexpr std::size_t kLongestStampList = 2000;

// One service on a database in memory; each input starts with no account.
struct Fuzzed {
  Fuzzed() {
    mailwarden::ServiceOptions options;
    options.newSenderCredit = kStartingCredit;
    options.limits.perAddress = options.limits.perIp = 0;  // every input sends again
    service = std::make_unique<mailwarden::Service>(*store, options, -1);
  }
  void Forget() {
    for (const auto& account : store->ListAccounts()) store->RemoveAccount(account.address);
  }
  std::string Credit(const std::string& query) { return mailwarden::CreditQuery(service->context(), query, kIp).text; }
  std::string Stamps(const std::string& query) { return mailwarden::StampRequest(service->context(), query, kIp).text; }
  std::string Upload(const std::string& body) {
    return mailwarden::CertifiedUpload(service->context(), body, kIp).text;
  }

  static constexpr const char* kIp = "127.0.0.1";
  std::unique_ptr<mailwarden::store::Store> store = mailwarden::store::OpenStore("sqlite::memory:");
  std::unique_ptr<mailwarden::Service> service;
};

bool Matches(const std::string& text, std::string_view pattern) {
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (pattern[i] == '9' ? !digit : text[i] != pattern[i]) return false;
  }
  return true;
}

void CheckShape(const std::string& reply) {
  const bool success = reply.rfind("qo;", 0) == 0;
  fuzz::Require(success || reply.rfind("qx;", 0) == 0, "every reply starts with \"qo;\" or \"qx;\"");
  if (!success) fuzz::Require(reply.size() > 3, "a refusal gives a reason");
}

struct Written {
  std::string from, fromName, subject, date, time, content;
  corvanta::protocol::HashDraws draws;
  std::vector<std::string> addresses, names;  // the address a recipient is sent under
  std::string addressList, nameList;          // as the add-in lists them
};

Written FromLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  lines.resize(std::max<std::size_t>(lines.size(), 7));
  Written w{lines[0], lines[1], lines[2], lines[3], lines[4], lines[5], {}, {}, {}, {}, {}};
  int* const draws[] = {&w.draws.r1, &w.draws.r2, &w.draws.r3, &w.draws.k};
  for (std::size_t i = 0; i < 4 && i < lines[6].size(); ++i) *draws[i] = static_cast<unsigned char>(lines[6][i]) % 62;
  for (std::size_t i = 7; i < lines.size(); ++i) {
    const std::size_t tab = lines[i].find('\t');
    std::string address = tab == std::string::npos ? std::string() : lines[i].substr(0, tab);
    const std::string name = tab == std::string::npos ? lines[i] : lines[i].substr(tab + 1);
    if (address.empty()) address = name;
    if (address.empty()) continue;  // the add-in refuses such a recipient itself
    w.addresses.push_back(address);
    w.names.push_back(name);
    w.addressList += address + " ";
    w.nameList += corvanta::protocol::s256to62(name) + " ";
  }
  return w;
}

// The stamps of a success, each safe for the add-in and recorded for its recipient.
void CheckIssued(Fuzzed& service, const Written& w, const std::string& reply, bool certified) {
  const std::vector<std::string> stamps = corvanta::sending::SplitStamps(reply);
  fuzz::Require(stamps.size() == w.addresses.size(), "one stamp per recipient");
  fuzz::Require(corvanta::sending::StampProblem(stamps, static_cast<int>(stamps.size())).empty(),
                "the add-in takes every stamp issued");
  fuzz::Require(std::set<std::string>(stamps.begin(), stamps.end()).size() == stamps.size(), "no stamp twice");
  fuzz::Require(service.store->CreditLeft(mailwarden::ToUtf8(w.from), mailwarden::SystemNow()) ==
                    kStartingCredit - static_cast<int>(stamps.size()),
                "one credit per stamp");
  bool oneWordEach = true;
  for (const std::string& address : w.addresses) oneWordEach = oneWordEach && address.find(' ') == std::string::npos;
  for (std::size_t i = 0; i < stamps.size(); ++i) {
    const auto record = service.store->FindStamp(stamps[i]);
    fuzz::Require(record.has_value(), "an issued stamp is recorded");
    fuzz::Require(record->recipientName == mailwarden::ToUtf8(w.names[i]),
                  "the stamp is recorded for its recipient's name");
    if (oneWordEach) {
      fuzz::Require(record->recipient == mailwarden::ToUtf8(w.addresses[i]), "the stamp is recorded for its recipient");
    }
    fuzz::Require(record->subject == mailwarden::ToUtf8(w.subject), "the subject is recorded");
    if (certified) {
      mailwarden::store::NewEvent read;
      read.stamp = stamps[i];
      read.type = mailwarden::store::EventType::kRead;
      const mailwarden::store::Certified kept = service.store->ReadCertified(read);
      fuzz::Require(kept.state == mailwarden::store::CertifiedState::kFound, "the certified message is kept");
      fuzz::Require(kept.content == mailwarden::ToUtf8(w.content), "the message is kept as uploaded");
      fuzz::Require(kept.fromName == mailwarden::ToUtf8(w.fromName), "the sender's name is kept");
    }
  }
}

void Structured(Fuzzed& service, int request, const std::string& text) {
  using corvanta::protocol::MakeHash;
  using corvanta::protocol::UrlEscape;
  const Written w = FromLines(text);
  // The service refuses, before anything else, a sender longer than any
  // address can be, and a stamp request's recipient lists longer than the
  // add-in's whole query can be.
  const bool senderFits = mailwarden::ToUtf8(w.from).size() <= kLongestAddress;
  const bool listsFit = w.addressList.size() <= kLongestStampList && w.nameList.size() <= kLongestStampList;
  if (request == 0) {
    const std::string reply = service.Credit("email=" + UrlEscape(w.from) + "&hash=" + MakeHash(w.from, w.draws));
    CheckShape(reply);
    if (w.from.empty()) {
      fuzz::Require(reply.rfind("qx;", 0) == 0, "no credit without a sender");
    } else if (!senderFits) {
      fuzz::Require(reply == "qx;The sender address is too long.", "a sender longer than any address is refused");
    } else {
      fuzz::Require(reply == "qo;" + std::to_string(kStartingCredit), "a new sender has the starting credit");
    }
    return;
  }

  const bool certified = request == 2;
  const std::string isHtml = w.content.rfind('<', 0) == 0 ? "1" : "0";
  std::string form = "fromAddy=" + UrlEscape(w.from);
  if (certified) form += "&fromName=" + UrlEscape(w.fromName);
  form += "&toAddy=" + UrlEscape(w.addressList) + "&toName=" + UrlEscape(w.nameList) +
          "&subject=" + UrlEscape(w.subject) + "&curDate=" + UrlEscape(w.date) + "&curTime=" + UrlEscape(w.time);
  if (certified) {
    form += "&content=" + UrlEscape(w.content) + "&isHTML=" + isHtml + "&hash=" +
            MakeHash(w.from + w.fromName + w.addressList + w.nameList + w.subject + w.date + w.time, w.draws);
  } else {
    form += "&hash=" + MakeHash(w.from + w.addressList + w.subject + w.date + w.time, w.draws);
  }
  const std::string reply = certified ? service.Upload(form) : service.Stamps(form);
  CheckShape(reply);
  fuzz::Require(reply != "qx;Wrong hash.", "the add-in's hash is right");

  bool listsReadable = true;  // every address one word, or the name standing in for it
  for (std::size_t i = 0; i < w.addresses.size(); ++i) {
    listsReadable = listsReadable && (w.addresses[i].find(' ') == std::string::npos || w.addresses[i] == w.names[i]);
  }
  const std::size_t n = w.addresses.size();
  const bool takeable = !w.from.empty() && senderFits && (certified || listsFit) && Matches(w.date, "9999-99-99") &&
                        Matches(w.time, "99:99:99") && n >= 1 && n <= static_cast<std::size_t>(kStartingCredit);
  if (takeable && listsReadable && reply.rfind("qo;", 0) != 0) {
    fuzz::Fail("a well-formed request with enough credit gets its stamps", reply);
  }
  if (!takeable) fuzz::Require(reply.rfind("qx;", 0) == 0, "a request without sender, date, time or credit is refused");
  if (reply.rfind("qo;", 0) == 0) CheckIssued(service, w, reply, certified);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t switches = data[size - 1];
  const int request = switches & 3;
  const std::string text(reinterpret_cast<const char*>(data), size - 1);
  static Fuzzed service;
  service.Forget();

  if (switches & 4) {
    Structured(service, request == 3 ? 0 : request, text);
    return 0;
  }
  switch (request) {
    case 1:
      CheckShape(service.Stamps(text));
      break;
    case 2:
      CheckShape(service.Upload(text));
      break;
    default:
      CheckShape(service.Credit(text));
      break;
  }
  return 0;
}

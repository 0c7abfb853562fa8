#pragma once
// Requests built the way the add-in builds them: every value through
// UrlEscape, names through s256to62, the hash by MakeHash over the plain values.
#include <string>
#include <vector>

#include "protocol/encoding.h"

namespace service_test {

struct AddinRecipient {
  std::string address;  // the SMTP address, or the display name standing in
  std::string name;
};

struct AddinSend {
  std::string from = "ann.sender@example.com";
  std::string fromName = "Ann Sender";
  std::vector<AddinRecipient> to;
  std::string subject = "Quarterly figures";
  std::string date = "2003-06-25";
  std::string time = "17:05:09";
  std::string content = "Dear all,\r\nthe figures are attached.\r\n";
  bool isHtml = false;

  std::string AddressList() const;
  std::string NameList() const;
  // What the stamp request and the upload hash.
  std::string StampHashInput() const;
  std::string UploadHashInput() const;
};

// "email=...&hash=..."
std::string CreditQuery(const std::string& email, const corvanta::protocol::HashDraws& draws);
// "fromAddy=...&toAddy=...&toName=...&subject=...&curDate=...&curTime=...&hash=..."
std::string StampQuery(const AddinSend& send, const corvanta::protocol::HashDraws& draws);
// The upload's form body, keys in the add-in's order.
std::string UploadBody(const AddinSend& send, const corvanta::protocol::HashDraws& draws);

// The stamps of a "qo;" reply, split at single spaces.
std::vector<std::string> StampsOf(const std::string& reply);

}  // namespace service_test

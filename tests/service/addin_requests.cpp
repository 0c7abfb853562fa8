#include "addin_requests.h"

namespace service_test {

using corvanta::protocol::MakeHash;
using corvanta::protocol::s256to62;
using corvanta::protocol::UrlEscape;

std::string AddinSend::AddressList() const {
  std::string list;
  for (const AddinRecipient& recipient : to) list += recipient.address + " ";
  return list;
}

std::string AddinSend::NameList() const {
  std::string list;
  for (const AddinRecipient& recipient : to) list += s256to62(recipient.name) + " ";
  return list;
}

std::string AddinSend::StampHashInput() const {
  return from + AddressList() + subject + date + time;
}

std::string AddinSend::UploadHashInput() const {
  return from + fromName + AddressList() + NameList() + subject + date + time;
}

std::string CreditQuery(const std::string& email, const corvanta::protocol::HashDraws& draws) {
  return "email=" + UrlEscape(email) + "&hash=" + MakeHash(email, draws);
}

std::string StampQuery(const AddinSend& send, const corvanta::protocol::HashDraws& draws) {
  return "fromAddy=" + UrlEscape(send.from) + "&toAddy=" + UrlEscape(send.AddressList()) +
         "&toName=" + UrlEscape(send.NameList()) + "&subject=" + UrlEscape(send.subject) +
         "&curDate=" + UrlEscape(send.date) + "&curTime=" + UrlEscape(send.time) +
         "&hash=" + MakeHash(send.StampHashInput(), draws);
}

std::string UploadBody(const AddinSend& send, const corvanta::protocol::HashDraws& draws) {
  return "fromAddy=" + UrlEscape(send.from) + "&fromName=" + UrlEscape(send.fromName) +
         "&toAddy=" + UrlEscape(send.AddressList()) + "&toName=" + UrlEscape(send.NameList()) +
         "&subject=" + UrlEscape(send.subject) + "&curDate=" + UrlEscape(send.date) +
         "&curTime=" + UrlEscape(send.time) + "&content=" + UrlEscape(send.content) +
         "&isHTML=" + (send.isHtml ? "1" : "0") + "&hash=" + MakeHash(send.UploadHashInput(), draws);
}

std::vector<std::string> StampsOf(const std::string& reply) {
  std::vector<std::string> stamps;
  if (!reply.starts_with("qo;")) return stamps;
  std::size_t start = 3;
  for (;;) {
    std::size_t space = reply.find(' ', start);
    stamps.push_back(reply.substr(start, space - start));
    if (space == std::string::npos) break;
    start = space + 1;
  }
  return stamps;
}

}  // namespace service_test

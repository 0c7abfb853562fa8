// The certified upload: the whole message POSTed to the service, which keeps
// it and answers with a stamp per recipient.
#include "addin/connect.h"
#include "host/utf8.h"
#include "protocol/encoding.h"
#include "protocol/service.h"
#include "sending/closing_steps.h"
#include "sending/dlg_progress.h"
#include "sending/recipient_lists.h"
#include "sending/request_signing.h"

namespace corvanta {

std::string Connect::SendCertified(dlgProgress& progress, host::SafeMailItem& item, const std::string& curDate,
                                   const std::string& curTime) {
  std::int16_t step = 71;
  return sending::RunRequest(*this, step, [&]() -> std::string {
    const sending::RecipientLists lists = sending::CollectRecipients(*this, item);
    if (!lists.refusal.empty()) return lists.refusal;
    const std::string subject = item.Subject();
    progress.SetProgressLabel("Receiving stamp...");
    platform.windowing.DoEvents();

    std::string content = item.HTMLBody();
    std::string isHTML = "1";
    if (content.empty()) {
      content = item.Body();
      isHTML = "0";
    }
    progress.Inet1().SetRequestTimeout(60000);

    using protocol::UrlEscape;
    const std::string escapedFrom = UrlEscape(GetSenderAddress(), platform.codePage);
    const std::string escapedName = UrlEscape(GetSenderName(), platform.codePage);
    const std::string toAddy = UrlEscape(lists.addresses, platform.codePage);
    const std::string toName = UrlEscape(lists.names, platform.codePage);
    const std::string subjectEscaped = UrlEscape(subject, platform.codePage);
    const std::string date = UrlEscape(curDate, platform.codePage);
    const std::string time = UrlEscape(curTime, platform.codePage);
    const std::string contentEscaped = UrlEscape(content, platform.codePage);
    const std::string sender = GetSenderAddress();
    const std::string senderName = GetSenderName();
    const std::string hash =
        protocol::MakeHash(sender + senderName + lists.addresses + lists.names + subject + curDate + curTime,
                           platform.codePage, platform.random);
    const std::string body = "fromAddy=" + escapedFrom + "&fromName=" + escapedName + "&toAddy=" + toAddy +
                             "&toName=" + toName + "&subject=" + subjectEscaped + "&curDate=" + date +
                             "&curTime=" + time + "&content=" + contentEscaped + "&isHTML=" + isHTML + "&hash=" + hash;
    const std::size_t characters = host::utf8::Units(body);
    if (static_cast<long long>(characters) > SizeLimit) {
      return "qx;The email is too big. (" + std::to_string(characters) + ">" + std::to_string(SizeLimit) + ")";
    }
    progress.SetProgressLabel("Sending...");
    platform.windowing.DoEvents();

    step = 7;
    // The size limit counts the message, not the signature after it.
    progress.Inet1().Execute(protocol::ServiceUrl(serviceHost, protocol::kUploadPath), "POST",
                             body + sending::RequestSignature(*this, body),
                             "Content-Type: application/x-www-form-urlencoded");
    progress.WaitLoop();
    std::string reply = progress.sInetSays;

    step = 72;
    progress.SetValue(progress.Value() + 3);
    platform.windowing.DoEvents();
    return reply;
  });
}

}  // namespace corvanta

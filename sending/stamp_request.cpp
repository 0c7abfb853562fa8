// The stamp request: one GET asking the service for a stamp per recipient.
#include "addin/connect.h"
#include "host/utf8.h"
#include "protocol/encoding.h"
#include "protocol/service.h"
#include "sending/closing_steps.h"
#include "sending/dlg_progress.h"
#include "sending/recipient_lists.h"
#include "sending/request_signing.h"

namespace corvanta {

namespace {
// The escaped query, host and path not counted, nor the signature after it
// (82 characters more, which the transfer and the service both take).
constexpr std::size_t kMaxQueryLength = 2000;
}  // namespace

std::string Connect::GetStamps(dlgProgress& progress, host::SafeMailItem& item, const std::string& curDate,
                               const std::string& curTime) {
  std::int16_t step = 60;
  return sending::RunRequest(*this, step, [&]() -> std::string {
    const sending::RecipientLists lists = sending::CollectRecipients(*this, item);
    if (!lists.refusal.empty()) return lists.refusal;
    const std::string subject = item.Subject();
    progress.SetProgressLabel("Receiving stamp...");
    platform.windowing.DoEvents();

    step = 7;
    using protocol::UrlEscape;
    const std::string escapedFrom = UrlEscape(GetSenderAddress(), platform.codePage);
    const std::string toAddy = UrlEscape(lists.addresses, platform.codePage);
    const std::string toName = UrlEscape(lists.names, platform.codePage);
    const std::string subjectEscaped = UrlEscape(subject, platform.codePage);
    const std::string date = UrlEscape(curDate, platform.codePage);
    const std::string time = UrlEscape(curTime, platform.codePage);
    const std::string hash = protocol::MakeHash(GetSenderAddress() + lists.addresses + subject + curDate + curTime,
                                                platform.codePage, platform.random);
    const std::string query = "fromAddy=" + escapedFrom + "&toAddy=" + toAddy + "&toName=" + toName +
                              "&subject=" + subjectEscaped + "&curDate=" + date + "&curTime=" + time + "&hash=" + hash;
    if (host::utf8::Units(query) > kMaxQueryLength) return "qx;Subject or the email address(es) is too long.";

    std::string reply = progress.Inet1().OpenURL(protocol::ServiceUrl(serviceHost, protocol::kStampPath) + "?" + query +
                                                 sending::RequestSignature(*this, query));
    step = 61;
    progress.SetValue(progress.Value() + 1);
    platform.windowing.DoEvents();
    return reply;
  });
}

}  // namespace corvanta

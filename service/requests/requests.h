#pragma once
// The three requests the add-in reads the reply of. Each returns the reply
// text: "qo;" and the payload, or "qx;" and a short reason. ip is the
// client's address, kept with the stamps and counted by the limits.
#include <string>
#include <string_view>

#include "service/context.h"

namespace mailwarden {

// The reply's text and, when it is a refusal, its reason as one word.
struct Answer {
  std::string text;
  std::string refused;
};

// email, hash; the hash covers the address. Replies with the credit left
// this month.
Answer CreditQuery(Context& context, std::string_view query, std::string_view ip);

// fromAddy, toAddy, toName, subject, curDate, curTime, hash; the hash covers
// fromAddy, toAddy, subject, curDate and curTime. Replies with the stamps.
Answer StampRequest(Context& context, std::string_view query, std::string_view ip);

// The form body of the certified upload: fromAddy, fromName, toAddy, toName,
// subject, curDate, curTime, content, isHTML, hash; the hash covers all but
// content and isHTML. Keeps the message and replies with the stamps.
Answer CertifiedUpload(Context& context, std::string_view body, std::string_view ip);

}  // namespace mailwarden

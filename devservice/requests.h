#pragma once
// The three requests the add-in reads the reply of. Each returns the reply
// text: "qo;" and the payload, or "qx;" and a short reason.
#include <string>
#include <string_view>

#include "devservice/service.h"

namespace mailwarden {

// email, hash; the hash covers the address.
std::string CreditQuery(Service& service, std::string_view query);

// fromAddy, toAddy, toName, subject, curDate, curTime, hash; the hash covers
// fromAddy, toAddy, subject, curDate and curTime. Replies with the stamps.
std::string StampRequest(Service& service, std::string_view query);

// The form body of the certified upload: fromAddy, fromName, toAddy, toName,
// subject, curDate, curTime, content, isHTML, hash; the hash covers all but
// content and isHTML. Keeps the message per recipient and replies with the stamps.
std::string CertifiedUpload(Service& service, std::string_view body);

}  // namespace mailwarden

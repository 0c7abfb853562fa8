#pragma once
// An event as a webhook receives it: JSON with a stable id, signed with
// HMAC-SHA256 of "TIMESTAMP.BODY" under the webhook's secret in the header
// "Mailwarden-Signature: t=TIMESTAMP,v1=HEX", so the receiver can check it
// and refuse a replay of an old one.
#include <cstdint>
#include <string>
#include <string_view>

#include "service/store/store.h"

namespace mailwarden::notices {

inline constexpr const char* kSignatureHeader = "Mailwarden-Signature";

std::string WebhookBody(const store::Delivery& event);
// "t=1765432100,v1=5f2b..."; seconds since 1970.
std::string WebhookSignature(std::string_view secret, std::int64_t seconds, std::string_view body);

// POSTs the body; empty when the receiver answered 2xx, else why not. The
// address connected to is checked as CheckWebhookAddress says.
std::string PostWebhook(const std::string& url, const std::string& body, const std::string& signature,
                        bool allowPrivate);

}  // namespace mailwarden::notices

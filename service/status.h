#pragma once
// /status and /status.json: every sender with the credit left this month,
// every stamp and what happened to it (no message content). Only served
// when the administrator asks for them, for tests and demonstrations on
// loopback: they show every sender's mail.
#include <nlohmann/json.hpp>
#include <string>

#include "service/context.h"

namespace mailwarden {

inline constexpr const char* kEventStampIssued = "stamp issued";
inline constexpr const char* kEventImageFetched = "image fetched";
inline constexpr const char* kEventReceiptClicked = "receipt clicked";
inline constexpr const char* kEventRead = "read";
inline constexpr const char* kEventCancelled = "cancelled";
inline constexpr const char* kEventVisited = "visited";

// {"senders": [{address, credit}], "stamps": [{stamp, sender, recipient,
// recipientName, subject, kind, issued[, cancelled]}], "events": [{type,
// stamp, recipient, time}]}, events oldest first. Waits for queued events.
nlohmann::json Status(Context& context);
std::string StatusPage(const nlohmann::json& status);

// "yyyy-mm-ddThh:mm:ssZ".
std::string TimeText(store::Time time);

}  // namespace mailwarden

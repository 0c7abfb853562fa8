#pragma once
// What a notice to the sender says: who did what to which message, when
// (in the sender's time zone), why it is taken for a person's doing, and the
// link to the message's page; one event, or several in a digest.
#include <string>
#include <string_view>
#include <vector>

#include "service/notices/time_zone.h"
#include "service/store/store.h"

namespace mailwarden::notices {

struct NoticeText {
  std::string subject;
  std::string text;
  std::string html;
};

// publicUrl: where the sender's pages are reached, without the final "/".
NoticeText SingleNotice(const store::Delivery& event, const TimeZone& zone, std::string_view publicUrl);

// Why several events come in one mail.
enum class Gathered { kHourlyDigest, kDailyDigest, kOverCap };
NoticeText DigestNotice(const std::vector<store::Delivery>& events, Gathered why, const TimeZone& zone,
                        std::string_view publicUrl);

// "opened", "confirmed receipt of", ...: what the recipient did to the message.
std::string_view Deed(int eventType);

}  // namespace mailwarden::notices

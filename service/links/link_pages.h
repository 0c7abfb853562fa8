#pragma once
// The pages recipients reach through the links in the mail. A link that
// changes the record (a read receipt, a certified read, a cancellation)
// first shows what pressing its one button does; only the press (a POST
// carrying the form's token) changes anything, so a scanner that follows
// every link changes nothing.
#include <string>
#include <string_view>

#include "service/store/store.h"

namespace mailwarden {

// A page in the frame and stylesheet of the senders' pages; bodyHtml goes in as it is.
std::string Page(const std::string& title, const std::string& bodyHtml);

// The 1x1 transparent GIF of the tracking image.
const std::string& TransparentGif();

// The form's target is the link itself (target: its path and query, as the
// mail has it); token: the form's token for the stamp.
std::string ReceiptAskPage(const store::StampInfo& stamp, std::string_view target, std::string_view token);
std::string ReceiptThanksPage(const store::StampInfo& stamp);
std::string ReadAskPage(const store::StampInfo& stamp, std::string_view target, std::string_view token);
std::string CancelAskPage(const store::StampInfo& stamp, std::string_view target, std::string_view token);

}  // namespace mailwarden

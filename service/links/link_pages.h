#pragma once
// The pages recipients reach through the links in the mail.
#include <string>

#include "service/store/store.h"

namespace mailwarden {

// A page in the frame and stylesheet of the senders' pages; bodyHtml goes in as it is.
std::string Page(const std::string& title, const std::string& bodyHtml);

// The 1x1 transparent GIF of the tracking image.
const std::string& TransparentGif();

std::string ReceiptThanksPage(const store::StampInfo& stamp);

}  // namespace mailwarden

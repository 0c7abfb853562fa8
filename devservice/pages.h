#pragma once
// The pages people see: the site's own, the recipients' links, the status.
#include <nlohmann/json.hpp>
#include <string>

#include "devservice/state.h"

namespace mailwarden {

// A page with the site's frame; bodyHtml goes in as it is.
std::string Page(const std::string& title, const std::string& bodyHtml);

std::string TermsText();
std::string HomePage();
std::string DonationPage();

// The 1x1 transparent GIF of the tracking image.
const std::string& TransparentGif();

std::string ReceiptThanksPage(const StampRecord& record);
std::string MessagePage(const StampRecord& record);
std::string CancelConfirmPage(const StampRecord& record);
std::string CancelledPage(const StampRecord& record);

// The status page: credits, stamps and events of Service::Status().
std::string StatusPage(const nlohmann::json& status);

}  // namespace mailwarden

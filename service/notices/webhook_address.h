#pragma once
// Where a webhook may point: http or https to an address on the internet.
// Private, loopback, link-local and other inner addresses are refused
// unless the operator allows them, when the webhook is added and again at
// each delivery (a name may be pointed inward after it was checked), so the
// service cannot be made to reach into its own network.
#include <sys/socket.h>

#include <string>
#include <string_view>

namespace mailwarden::notices {

// Empty when the address may be reached; else why not.
std::string CheckWebhookAddress(const sockaddr* address, bool allowPrivate);

// Empty when the URL may be a webhook (its host looked up now); else why not.
std::string CheckWebhookUrl(std::string_view url, bool allowPrivate);

}  // namespace mailwarden::notices

#pragma once
// The pages anyone may see: what the service is, how to support it, and the
// service's own stylesheet and script (embedded in the program).
#include <optional>
#include <string>
#include <string_view>

#include "service/http/exchange.h"

namespace mailwarden::pages {

http::Reply HomePage();
// text: the administrator's own (--donation FILE), or empty for ours.
http::Reply DonationPage(std::string_view text);
// "/cvx/static/NAME"; nothing for an unknown name.
std::optional<http::Reply> StaticFile(std::string_view name);

}  // namespace mailwarden::pages

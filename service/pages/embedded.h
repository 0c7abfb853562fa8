#pragma once
// The files the service serves from inside the program (service/web/ and
// the machine patterns of service/events/), written into it at build time.
#include <string_view>

namespace mailwarden::pages {

extern const std::string_view kSiteCss;
extern const std::string_view kLocalTimeJs;
extern const std::string_view kLiveJs;

}  // namespace mailwarden::pages

#pragma once
// The classification's data files (service/events/*.txt), written into the
// program at build time.
#include <string_view>

namespace mailwarden::events {

extern const std::string_view kMachineAgentsText;
extern const std::string_view kMachineNetworksText;

}  // namespace mailwarden::events

#pragma once
// machine_agents.txt, written into the program at build time.
#include <string_view>

namespace mailwarden::events {

extern const std::string_view kMachineAgentsText;

}  // namespace mailwarden::events

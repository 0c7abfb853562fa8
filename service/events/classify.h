#pragma once
// Who an image fetch, a receipt click or a certified read came from: the
// sender itself, a machine (an image proxy, a link scanner, a fetch right
// on delivery), or a person. The pages count persons as readers and show
// the others apart.
#include <string_view>
#include <vector>

#include "service/http/exchange.h"
#include "service/store/store.h"

namespace mailwarden::events {

// The sender's own Outlook shows its copy from the address that asked for
// the stamps, within this long after the stamps were issued.
inline constexpr store::Time kSenderIpWindow = 24LL * 3600 * 1000000;
// A fetch this soon after the stamps is a machine's on delivery.
inline constexpr store::Time kDeliveryWindow = 2LL * 1000000;

// The patterns of service/events/machine_agents.txt, lower case.
const std::vector<std::string>& MachineAgents();
bool IsMachineAgent(std::string_view userAgent);

// The sender: from the stamps' IP within 24 hours, or from a browser signed
// in to the stamp's sender's pages (sessions: the store that keeps them;
// without it that check is skipped). A machine: a known User-Agent, or within
// 2 seconds of the stamps. A person: everything else.
store::EventClass Classify(const store::StampInfo& stamp, const http::Request& request, store::Time now,
                           store::Store* sessions = nullptr);

}  // namespace mailwarden::events

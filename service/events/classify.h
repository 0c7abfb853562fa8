#pragma once
// Who an image fetch, a receipt, a certified read or a link's visit came
// from: the sender, a machine (a prefetcher, a scanner, a link preview, a
// fetch right on delivery) or a person, and the reason in words the sender
// reads beside the event. The pages count persons as readers and show the
// others apart.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "service/events/networks.h"
#include "service/http/exchange.h"
#include "service/store/store.h"

namespace mailwarden::events {

// A fetch this soon after the stamp request is a machine's on delivery. The
// add-in asks for the stamps just before it hands the message to Outlook;
// the message then still crosses the sender's and the recipient's servers,
// where the gateways that scan on delivery fetch within the same seconds,
// while a reader first has to see the message arrive and open it. Senders'
// services report such delivery scans within 2 to 10 seconds of sending;
// 10 seconds takes them all and leaves a person's open after it.
inline constexpr store::Time kDeliveryWindow = 10LL * 1000000;

struct Verdict {
  store::EventClass eventClass = store::EventClass::kPerson;
  std::string reason;
};

struct AgentPattern {
  std::string pattern;  // lower case
  std::string reason;
};

// The patterns of service/events/machine_agents.txt. Throws
// std::invalid_argument for a line without a reason or a source.
std::vector<AgentPattern> ReadAgentPatterns(std::string_view text);
const std::vector<AgentPattern>& MachineAgents();
// The reason of the first pattern the User-Agent holds; nothing when none.
const AgentPattern* FindMachineAgent(std::string_view userAgent);

// The reason a reader's open through a provider's image proxy carries;
// a later fetch of the same stamp through that proxy is its cache.
inline constexpr std::string_view kGmailOpen = "Gmail image proxy: opened by the reader; place hidden";
inline constexpr std::string_view kYahooOpen = "Yahoo image proxy: opened by the reader; place hidden";
// A provider's fetch of every image on delivery: the mail arrived, nothing more.
inline constexpr std::string_view kApplePrefetch = "Apple Mail Privacy Protection: fetched on delivery";

class Classifier {
 public:
  explicit Classifier(Networks networks = Networks::BuiltIn()) : networks_(std::move(networks)) {}

  // Every sign is weighed, in this order: requests that show nothing to a
  // person (HEAD, prefetch, no User-Agent); the image of a copy the add-in
  // marked as the sender's own ("own=1"); a browser signed in to the
  // stamp's sender's pages; the image proxies that fetch for a reader;
  // Apple's Mail Privacy Protection; known programs by User-Agent;
  // scanners' networks; then the time since the stamps. Whatever is left is
  // a person: the address that asked for the stamps is no sign of the
  // sender, since an office or a carrier shares it among many. sessions: the
  // store that keeps the sign-in sessions (without it that check is skipped).
  Verdict operator()(const store::StampInfo& stamp, const http::Request& request, store::Time now,
                     store::Store* sessions = nullptr) const;

 private:
  Networks networks_;
};

}  // namespace mailwarden::events

#include "service/events/classify.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <tuple>

#include "service/events/data_lines.h"
#include "service/events/machine_data.h"
#include "service/pages/sessions.h"

namespace mailwarden::events {

namespace {

constexpr store::Time kSecond = 1000000;

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return out;
}

bool Holds(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// A prefetch or prerender the browser made on its own, before anyone asked
// to see the page (Fetch metadata's Sec-Purpose; Chrome's and Safari's
// older Purpose; Firefox's X-Moz).
bool IsPrefetch(const http::Request& request) {
  for (const char* header : {"Sec-Purpose", "Purpose", "X-Purpose", "X-Moz"}) {
    const std::string value = Lower(request.Header(header));
    if (Holds(value, "prefetch") || Holds(value, "prerender") || Holds(value, "preview")) return true;
  }
  return false;
}

// A browser long out of use: scanners keep such a signature, readers do not.
bool OutdatedBrowser(std::string_view agent) {
  return Holds(agent, "MSIE ") || Holds(agent, "Windows NT 5.") || Holds(agent, "Windows 98");
}

// "own=1" among the fields of the query.
bool MarkedOwn(std::string_view query) {
  while (!query.empty()) {
    const auto end = query.find('&');
    if (query.substr(0, end) == "own=1") return true;
    query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
  }
  return false;
}

bool OpenedThrough(const store::StampInfo& stamp, std::string_view open) {
  return std::find(stamp.openReasons.begin(), stamp.openReasons.end(), open) != stamp.openReasons.end();
}

}  // namespace

std::vector<AgentPattern> ReadAgentPatterns(std::string_view text) {
  std::vector<AgentPattern> patterns;
  ForEachDataLine(text, [&](const DataLine& line) {
    const auto bar = line.text.find('|');
    const std::string_view pattern = Trim(line.text.substr(0, bar));
    const std::string_view reason =
        bar == std::string_view::npos ? std::string_view() : Trim(line.text.substr(bar + 1));
    if (pattern.empty() || reason.empty() || !line.sourced) {
      throw std::invalid_argument("machine User-Agents, line " + std::to_string(line.number) +
                                  (line.sourced ? ": not \"PATTERN | REASON\"" : ": no \"# Source:\" above it"));
    }
    patterns.push_back({Lower(pattern), std::string(reason)});
  });
  return patterns;
}

const std::vector<AgentPattern>& MachineAgents() {
  static const std::vector<AgentPattern> patterns = ReadAgentPatterns(kMachineAgentsText);
  return patterns;
}

const AgentPattern* FindMachineAgent(std::string_view userAgent) {
  const std::string agent = Lower(userAgent);
  for (const AgentPattern& pattern : MachineAgents())
    if (Holds(agent, pattern.pattern)) return &pattern;
  return nullptr;
}

Verdict Classifier::operator()(const store::StampInfo& stamp, const http::Request& request, store::Time now,
                               store::Store* sessions) const {
  using store::EventClass;
  const std::string agent = request.Header("User-Agent");
  // Nothing of these is shown to anyone.
  if (request.method == "HEAD") return {EventClass::kMachine, "HEAD request: only checked the address"};
  if (IsPrefetch(request)) return {EventClass::kMachine, "browser prefetch: fetched ahead, not shown"};
  if (Trim(agent).empty()) return {EventClass::kMachine, "no User-Agent: a program, not a mail program"};

  // The image of the sender's own kept copy, marked so by the add-in.
  if (MarkedOwn(request.query)) return {EventClass::kSender, "your own copy"};
  const store::Time age = now - stamp.issued;
  if (sessions && stamp.accountId != 0 && pages::SenderOfBrowser(*sessions, request, now) == stamp.accountId) {
    return {EventClass::kSender, "you (signed in to your pages)"};
  }

  // Gmail and Yahoo fetch the image when the reader opens the message (the
  // time is the reader's, the place the proxy's), then keep it.
  // Source: Gmail blog, "Images Now Showing" (2013), User-Agent "... (via
  // ggpht.com GoogleImageProxy)"; Yahoo, "Yahoo Mail Proxy"
  // (help.yahoo.com/kb/yahoo-mail-proxy-SLN28749.html), User-Agent "YahooMailProxy".
  for (const auto& [mark, open, again] :
       {std::tuple{"GoogleImageProxy", kGmailOpen, "Gmail image proxy: fetched again from its cache; not a new open"},
        std::tuple{"YahooMailProxy", kYahooOpen, "Yahoo image proxy: fetched again from its cache; not a new open"}}) {
    if (!Holds(agent, mark)) continue;
    if (OpenedThrough(stamp, open)) return {EventClass::kMachine, again};
    return {EventClass::kPerson, std::string(open)};
  }

  const Network* network = networks_.Find(request.ip);
  // Mail Privacy Protection loads every image on delivery from Apple's
  // network, read or not, with no more than this User-Agent.
  // Source: Apple, "Use Mail Privacy Protection" (support.apple.com), and
  // senders' services' reports of its requests since 2021.
  if (network && network->kind == NetworkKind::kApple && agent == "Mozilla/5.0") {
    return {EventClass::kMachine, std::string(kApplePrefetch)};
  }
  if (const AgentPattern* pattern = FindMachineAgent(agent)) return {EventClass::kMachine, pattern->reason};
  if (network && network->kind == NetworkKind::kScanner) {
    return {EventClass::kMachine, "security scanner (" + network->owner + " network" +
                                      (OutdatedBrowser(agent) ? ", outdated browser signature)" : ")")};
  }
  if (age >= 0 && age < kDeliveryWindow) {
    const store::Time seconds = age / kSecond;
    return {EventClass::kMachine, "fetched " + std::to_string(seconds) + (seconds == 1 ? " second" : " seconds") +
                                      " after sending, on delivery"};
  }
  return {EventClass::kPerson, "a mail program or browser; no sign of a machine"};
}

}  // namespace mailwarden::events

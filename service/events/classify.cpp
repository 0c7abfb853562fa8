#include "service/events/classify.h"

#include <algorithm>
#include <string>

#include "service/events/machine_agents.h"
#include "service/pages/sessions.h"

namespace mailwarden::events {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return out;
}

std::vector<std::string> ReadPatterns(std::string_view text) {
  std::vector<std::string> patterns;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty() || line.front() == '#') continue;
    patterns.push_back(Lower(line));
  }
  return patterns;
}

}  // namespace

const std::vector<std::string>& MachineAgents() {
  static const std::vector<std::string> patterns = ReadPatterns(kMachineAgentsText);
  return patterns;
}

bool IsMachineAgent(std::string_view userAgent) {
  const std::string agent = Lower(userAgent);
  for (const std::string& pattern : MachineAgents())
    if (agent.find(pattern) != std::string::npos) return true;
  return false;
}

store::EventClass Classify(const store::StampInfo& stamp, const http::Request& request, store::Time now,
                           store::Store* sessions) {
  const store::Time age = now - stamp.issued;
  if (!stamp.issuerIp.empty() && request.ip == stamp.issuerIp && age >= 0 && age <= kSenderIpWindow) {
    return store::EventClass::kSender;
  }
  if (sessions && stamp.accountId != 0 && pages::SenderOfBrowser(*sessions, request, now) == stamp.accountId) {
    return store::EventClass::kSender;
  }
  if (IsMachineAgent(request.Header("User-Agent")) || age < kDeliveryWindow) return store::EventClass::kMachine;
  return store::EventClass::kPerson;
}

}  // namespace mailwarden::events

#include "service/events/client_names.h"

#include <re2/re2.h>

#include <algorithm>
#include <iostream>
#include <map>

#include "service/events/classify.h"

namespace mailwarden::events {

// ua-parser's replacements use at most nine groups.
constexpr int kMostGroups = 9;

struct ClientNames::Compiled {
  std::unique_ptr<re2::RE2> regex;
  std::vector<std::string> replacements;
};

namespace {

// "$1" and the like replaced by the groups; trimmed.
std::string Replace(const std::string& pattern, const std::vector<std::string>& groups) {
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '$' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
      const std::size_t group = static_cast<std::size_t>(pattern[i + 1] - '0');
      if (group < groups.size()) out += groups[group];
      ++i;
    } else {
      out += pattern[i];
    }
  }
  const auto first = out.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

// The replacement, or the group it stands for without one.
std::string Value(const std::vector<std::string>& replacements, std::size_t index, std::size_t group,
                  const std::vector<std::string>& groups) {
  if (!replacements[index].empty()) return Replace(replacements[index], groups);
  return group < groups.size() ? groups[group] : "";
}

}  // namespace

ClientNames::ClientNames(const ClientRules& rules, std::size_t remembered)
    : remembered_(std::max<std::size_t>(remembered, 1)) {
  const auto compile = [&](const std::vector<ClientRule>& from, std::vector<Compiled>& into) {
    for (const ClientRule& rule : from) {
      re2::RE2::Options options;
      options.set_log_errors(false);
      options.set_case_sensitive(!rule.ignoreCase);
      auto regex = std::make_unique<re2::RE2>(rule.regex, options);
      if (!regex->ok()) {
        skipped_.push_back(rule.regex);
        continue;
      }
      into.push_back(Compiled{std::move(regex), rule.replacements});
    }
  };
  compile(rules.agents, agents_);
  compile(rules.systems, systems_);
  compile(rules.devices, devices_);
}

ClientNames::~ClientNames() = default;

std::size_t ClientNames::Patterns() const {
  return agents_.size() + systems_.size() + devices_.size() + skipped_.size();
}

Client ClientNames::Match(std::string_view userAgent) const {
  // The groups of the first pattern that matches, group 0 the whole match.
  const auto first = [&](const std::vector<Compiled>& list, std::vector<std::string>& groups) -> const Compiled* {
    re2::StringPiece found[kMostGroups + 1];
    const re2::StringPiece text(userAgent.data(), userAgent.size());
    for (const Compiled& rule : list) {
      const int count = std::min(rule.regex->NumberOfCapturingGroups(), kMostGroups) + 1;
      if (!rule.regex->Match(text, 0, text.size(), re2::RE2::UNANCHORED, found, count)) continue;
      groups.clear();
      for (int i = 0; i < count; ++i)
        groups.emplace_back(found[i].data() ? std::string(found[i].data(), found[i].size()) : std::string());
      return &rule;
    }
    return nullptr;
  };
  Client client;
  std::vector<std::string> groups;
  if (const Compiled* rule = first(agents_, groups)) {
    client.family = Value(rule->replacements, 0, 1, groups);
    client.major = Value(rule->replacements, 1, 2, groups);
    if (client.family.empty()) client.family = "Other";
  }
  if (const Compiled* rule = first(systems_, groups)) {
    client.system = Value(rule->replacements, 0, 1, groups);
    if (client.system.empty()) client.system = "Other";
  }
  if (const Compiled* rule = first(devices_, groups)) {
    client.device = Value(rule->replacements, 0, 1, groups);
    if (client.device.empty()) client.device = "Other";
  }
  return client;
}

Client ClientNames::Find(std::string_view userAgent) const {
  const std::string key(userAgent);
  {
    std::lock_guard lock(mutex_);
    const auto found = cache_.find(key);
    if (found != cache_.end()) {
      order_.splice(order_.begin(), order_, found->second.place);
      return found->second.client;
    }
  }
  // Matched outside the lock: another thread may match the same at once, and both keep the same.
  Client client = Match(userAgent);
  std::lock_guard lock(mutex_);
  if (cache_.count(key)) return client;
  order_.push_front(key);
  cache_.emplace(key, Entry{client, order_.begin()});
  while (cache_.size() > remembered_) {
    cache_.erase(order_.back());
    order_.pop_back();
  }
  return client;
}

std::string ClientNames::Describe(std::string_view userAgent, std::string_view reason) const {
  // The proxies fetch for a reader of the provider's webmail or app; the reason knows them.
  const Client client = Find(userAgent);
  if (reason == kGmailOpen || client.family == "GmailImageProxy") return "Gmail (image proxy)";
  if (reason == kYahooOpen || client.family == "YahooMailProxy") return "Yahoo Mail (image proxy)";
  std::string program = client.family == "Other" ? "" : client.family;
  // A mail program's view on iOS is the system's own web view, without Safari's name.
  if (program == "Mobile Safari UI/WKWebView") program = "Apple Mail";
  if (!program.empty() && !client.major.empty()) program += " " + client.major;
  // The device says more than its system ("iPhone"); a computer's is "Other".
  const std::string& where = client.device != "Other" && client.device != "Spider" ? client.device : client.system;
  if (where == "Other") return program;
  return program.empty() ? where : program + " \u00b7 " + where;
}

const char* DefaultClientData() {
  return MAILWARDEN_CLIENT_DATA;
}

std::shared_ptr<const ClientNames> SharedClientNames(const std::string& path) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const ClientNames>> loaded;
  std::lock_guard lock(mutex);
  const auto found = loaded.find(path);
  if (found != loaded.end()) return found->second;
  std::shared_ptr<const ClientNames> names;
  try {
    names = std::make_shared<const ClientNames>(ReadClientRules(path));
    if (names->Skipped()) {
      std::cerr << "mailwarden: " << names->Skipped() << " of the " << names->Patterns() << " User-Agent patterns of "
                << path << " use what RE2 does not take (look-arounds, back-references) and are left out" << std::endl;
    }
  } catch (const ClientDataError& bad) {
    std::cerr << "mailwarden: cannot read the User-Agent patterns (" << bad.what()
              << "); the pages show each User-Agent as it came. Install Debian's uap-core or give --client-data FILE."
              << std::endl;
  }
  loaded.emplace(path, names);
  return names;
}

}  // namespace mailwarden::events

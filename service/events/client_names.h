#pragma once
// A User-Agent in words a sender reads: the program, and the device or the
// system it runs on ("Outlook 2016 · Windows", "Apple Mail · iPhone",
// "Gmail (image proxy)"), by the ua-parser project's patterns matched with
// RE2. Each distinct User-Agent is matched once and remembered, a bounded
// number of them.
#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "service/events/client_rules.h"

namespace re2 {
class RE2;
}

namespace mailwarden::events {

// What the patterns found; "Other" where nothing matched, as ua-parser says.
struct Client {
  std::string family = "Other";
  std::string major;
  std::string system = "Other";
  std::string device = "Other";
};

class ClientNames {
 public:
  // RE2 takes no look-around and no back-reference: a pattern with one is
  // left out and counted (skipped()), never matched some other way.
  explicit ClientNames(const ClientRules& rules, std::size_t remembered = 4096);
  ~ClientNames();
  ClientNames(const ClientNames&) = delete;
  ClientNames& operator=(const ClientNames&) = delete;

  // The words for the User-Agent of an event with this reason (which knows
  // the image proxies); empty when the patterns know nothing of it.
  std::string Describe(std::string_view userAgent, std::string_view reason = {}) const;
  // What the patterns find, remembered.
  Client Find(std::string_view userAgent) const;

  // Patterns RE2 does not take, of all.
  std::size_t Skipped() const { return skipped_.size(); }
  const std::vector<std::string>& SkippedPatterns() const { return skipped_; }
  std::size_t Patterns() const;

 private:
  struct Compiled;
  Client Match(std::string_view userAgent) const;

  std::vector<Compiled> agents_, systems_, devices_;
  std::vector<std::string> skipped_;
  std::size_t remembered_;
  mutable std::mutex mutex_;
  mutable std::list<std::string> order_;  // the most recently asked first
  struct Entry {
    Client client;
    std::list<std::string>::iterator place;
  };
  mutable std::unordered_map<std::string, Entry> cache_;
};

// Where the build says the data is: Debian's uap-core's file by default.
const char* DefaultClientData();

// The names of the data at path, read once per process and shared; nothing
// (and one clear line on stderr, the first time) when it cannot be read, so
// the pages show the raw User-Agent instead.
std::shared_ptr<const ClientNames> SharedClientNames(const std::string& path);

}  // namespace mailwarden::events

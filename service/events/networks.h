#pragma once
// Address ranges of networks whose requests are not a reader's: Apple's own
// network (its Mail Privacy Protection fetches from there) and the
// published ranges of security gateways. Kept by prefix length, so finding
// an address costs one hash lookup per length in use, not a scan of the
// ranges, however many an operator adds.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mailwarden::events {

enum class NetworkKind {
  kApple,    // Apple's network: Mail Privacy Protection when the User-Agent says nothing more
  kScanner,  // a security gateway's or scanner's network
};

struct Network {
  NetworkKind kind = NetworkKind::kScanner;
  std::string owner;  // "Microsoft", shown in the reason
};

// An IPv4 address as IPv4-mapped IPv6, so one index holds both.
using Address = std::array<std::uint8_t, 16>;
std::optional<Address> ParseAddress(std::string_view text);

class Networks {
 public:
  // The ranges of service/events/machine_networks.txt.
  static const Networks& BuiltIn();

  // Adds the ranges of a file. A line is "RANGE KIND OWNER" (KIND "apple"
  // or "scanner"), or Apple's published egress list as it comes
  // ("RANGE,COUNTRY,REGION,CITY,"), which is Apple's. "#" starts a comment.
  // With sourced, every range needs a "# Source:" comment in its group
  // (the lines since the last blank one). Throws std::invalid_argument
  // naming the line when a line is not one of these.
  void Add(std::string_view text, bool sourced);

  // The most specific range holding the address; nothing for text that is
  // no address.
  const Network* Find(std::string_view ip) const;
  std::size_t Size() const { return count_; }

 private:
  struct Key {
    Address masked;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const;
  };
  // Indexed by prefix length (0 to 128); lengths in use, longest first.
  std::array<std::unordered_map<Key, Network, KeyHash>, 129> byLength_;
  std::vector<int> lengths_;
  std::size_t count_ = 0;
};

}  // namespace mailwarden::events

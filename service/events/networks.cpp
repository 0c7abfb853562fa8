#include "service/events/networks.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "service/events/data_lines.h"
#include "service/events/machine_data.h"

namespace mailwarden::events {
namespace {

Address Masked(Address address, int length) {
  for (int bit = length; bit < 128; ++bit) address[bit / 8] &= static_cast<std::uint8_t>(~(0x80 >> (bit % 8)));
  return address;
}

// "17.0.0.0/8" or "2a01:111:f400::/48": the address and its prefix length
// (an IPv4 length counted within the mapped form).
std::optional<std::pair<Address, int>> ParseRange(std::string_view text) {
  const auto slash = text.find('/');
  const auto address = ParseAddress(text.substr(0, slash));
  if (!address) return std::nullopt;
  const bool v4 = text.substr(0, slash).find(':') == std::string_view::npos;
  int length = v4 ? 32 : 128;
  if (slash != std::string_view::npos) {
    const std::string_view digits = text.substr(slash + 1);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), length);
    if (error != std::errc() || end != digits.data() + digits.size() || length < 0 || length > (v4 ? 32 : 128)) {
      return std::nullopt;
    }
  }
  return std::pair{*address, v4 ? length + 96 : length};
}

}  // namespace

std::optional<Address> ParseAddress(std::string_view text) {
  const std::string plain(text);
  Address address{};
  in_addr v4{};
  if (inet_pton(AF_INET, plain.c_str(), &v4) == 1) {
    address[10] = address[11] = 0xff;
    std::copy_n(reinterpret_cast<const std::uint8_t*>(&v4), 4, address.begin() + 12);
    return address;
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, plain.c_str(), &v6) == 1) {
    std::copy_n(reinterpret_cast<const std::uint8_t*>(&v6), 16, address.begin());
    return address;
  }
  return std::nullopt;
}

std::size_t Networks::KeyHash::operator()(const Key& key) const {
  std::size_t hash = 1469598103934665603ULL;
  for (std::uint8_t byte : key.masked) hash = (hash ^ byte) * 1099511628211ULL;
  return hash;
}

const Networks& Networks::BuiltIn() {
  static const Networks networks = [] {
    Networks built;
    built.Add(kMachineNetworksText, true);
    return built;
  }();
  return networks;
}

void Networks::Add(std::string_view text, bool sourced) {
  ForEachDataLine(text, [&](const DataLine& data) {
    const std::string_view line = data.text;
    const auto fail = [&](const char* why) {
      throw std::invalid_argument("line " + std::to_string(data.number) + ": " + why + ": " + std::string(line));
    };
    if (sourced && !data.sourced) fail("a range without a \"# Source:\" comment above it");
    Network network;
    std::string_view range;
    if (const auto comma = line.find(','); comma != std::string_view::npos) {
      range = Trim(line.substr(0, comma));
      network = {NetworkKind::kApple, "Apple"};
    } else {
      const auto space = line.find_first_of(" \t");
      range = line.substr(0, space);
      std::string_view rest = space == std::string_view::npos ? std::string_view() : Trim(line.substr(space));
      const auto kindEnd = rest.find_first_of(" \t");
      const std::string_view kind = rest.substr(0, kindEnd);
      network.owner = kindEnd == std::string_view::npos ? "" : std::string(Trim(rest.substr(kindEnd)));
      if (kind == "apple") {
        network.kind = NetworkKind::kApple;
      } else if (kind == "scanner") {
        network.kind = NetworkKind::kScanner;
      } else {
        fail("not \"RANGE apple|scanner OWNER\"");
      }
      if (network.owner.empty()) fail("a range without its owner");
    }
    const auto parsed = ParseRange(range);
    if (!parsed) fail("not an address range");
    const auto [address, length] = *parsed;
    if (byLength_[length].insert_or_assign(Key{Masked(address, length)}, std::move(network)).second) ++count_;
    if (std::find(lengths_.begin(), lengths_.end(), length) == lengths_.end()) {
      lengths_.push_back(length);
      std::sort(lengths_.rbegin(), lengths_.rend());
    }
  });
}

const Network* Networks::Find(std::string_view ip) const {
  const auto address = ParseAddress(ip);
  if (!address) return nullptr;
  for (int length : lengths_) {
    const auto& index = byLength_[length];
    if (const auto found = index.find(Key{Masked(*address, length)}); found != index.end()) return &found->second;
  }
  return nullptr;
}

}  // namespace mailwarden::events

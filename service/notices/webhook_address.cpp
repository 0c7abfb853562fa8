#include "service/notices/webhook_address.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "service/notices/curl_handle.h"

namespace mailwarden::notices {
namespace {

struct Range {
  std::uint32_t first;
  int bits;
};

// Not on the internet: this network, private, shared (carrier NAT),
// loopback, link-local, protocol assignments, documentation, benchmarking,
// multicast, reserved and broadcast.
constexpr Range kInnerV4[] = {
    {0x00000000, 8},  {0x0A000000, 8},  {0x64400000, 10}, {0x7F000000, 8},  {0xA9FE0000, 16},
    {0xAC100000, 12}, {0xC0000000, 24}, {0xC0000200, 24}, {0xC0A80000, 16}, {0xC6120000, 15},
    {0xC6336400, 24}, {0xCB007100, 24}, {0xE0000000, 4},  {0xF0000000, 4},
};

bool InnerV4(std::uint32_t address) {
  for (const Range& range : kInnerV4) {
    const std::uint32_t mask = range.bits == 0 ? 0 : ~0u << (32 - range.bits);
    if ((address & mask) == range.first) return true;
  }
  return false;
}

std::uint32_t V4At(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

bool InnerV6(const unsigned char* b) {
  static constexpr unsigned char kZero[16] = {};
  static constexpr unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  static constexpr unsigned char kNat64[12] = {0, 0x64, 0xff, 0x9b};
  if (std::memcmp(b, kZero, 15) == 0) return true;  // :: and ::1
  // An IPv4 address written as IPv6 is judged as that address.
  if (std::memcmp(b, kMapped, 12) == 0 || std::memcmp(b, kNat64, 12) == 0) return InnerV4(V4At(b + 12));
  if ((b[0] & 0xfe) == 0xfc) return true;                                         // unique local fc00::/7
  if (b[0] == 0xfe && (b[1] & 0xc0) == 0x80) return true;                         // link-local fe80::/10
  if (b[0] == 0xfe && (b[1] & 0xc0) == 0xc0) return true;                         // site-local fec0::/10
  if (b[0] == 0xff) return true;                                                  // multicast
  if (b[0] == 0x20 && b[1] == 0x01 && b[2] == 0x0d && b[3] == 0xb8) return true;  // documentation
  return false;
}

std::string Text(const sockaddr* address) {
  char text[INET6_ADDRSTRLEN] = "";
  if (address->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  } else {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
  }
  return text;
}

}  // namespace

std::string CheckWebhookAddress(const sockaddr* address, bool allowPrivate) {
  bool inner = true;
  if (address->sa_family == AF_INET) {
    inner = InnerV4(ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr));
  } else if (address->sa_family == AF_INET6) {
    inner = InnerV6(reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr.s6_addr);
  } else {
    return "is no IP address";
  }
  if (inner && !allowPrivate) {
    return "leads to " + Text(address) + ", an address of a private, loopback or local network";
  }
  return "";
}

std::string CheckWebhookUrl(std::string_view url, bool allowPrivate) {
  if (url.size() > 2000) return "is not a URL";
  const CurlUrl parsed(url);
  if (!parsed) return "is not a URL";
  const std::string scheme = parsed.Part(CURLUPART_SCHEME);
  if (scheme != "http" && scheme != "https") return "must start with http:// or https://";
  if (!parsed.Part(CURLUPART_USER).empty()) return "must not hold a user name or password";
  std::string host = parsed.Part(CURLUPART_HOST);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (host.empty()) return "has no host";
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (int error = ::getaddrinfo(host.c_str(), nullptr, &hints, &found); error != 0) {
    return "has a host that cannot be looked up (" + std::string(::gai_strerror(error)) + ")";
  }
  std::string refused;
  for (const addrinfo* each = found; each && refused.empty(); each = each->ai_next) {
    refused = CheckWebhookAddress(each->ai_addr, allowPrivate);
  }
  ::freeaddrinfo(found);
  return refused;
}

}  // namespace mailwarden::notices

#include "service/notices/time_zone.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>

namespace mailwarden::notices {
namespace {

constexpr const char* kZoneFolder = "/usr/share/zoneinfo/";
constexpr std::int64_t kSecond = 1000000;

// Letters, digits and "/_+-" in parts that do not start with a dot.
bool ZoneName(std::string_view name) {
  if (name.empty() || name.size() > 64 || name.front() == '/') return false;
  char previous = '/';
  for (char c : name) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                       c == '+' || c == '-' || c == '/';
    if (!plain || (previous == '/' && (c == '/' || c == '-'))) return false;
    previous = c;
  }
  return previous != '/';
}

std::int64_t BigEndian(const std::string& data, std::size_t at, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i)
    value = value << 8 | static_cast<unsigned char>(data[at + static_cast<std::size_t>(i)]);
  if (bytes == 4) return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  return static_cast<std::int64_t>(value);
}

}  // namespace

TimeZone TimeZone::Utc() {
  TimeZone zone;
  zone.name_ = "UTC";
  zone.kindList_.push_back(Kind{0, "UTC"});
  return zone;
}

std::optional<TimeZone> TimeZone::Load(std::string_view name) {
  if (name == "UTC") return Utc();
  if (!ZoneName(name)) return std::nullopt;
  std::ifstream in(kZoneFolder + std::string(name), std::ios::binary);
  if (!in) return std::nullopt;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The version 2 part (64-bit times) follows the version 1 part.
  auto counts = [&](std::size_t at, std::int64_t* out) {
    if (data.size() < at + 44 || data.compare(at, 4, "TZif") != 0) return false;
    for (int i = 0; i < 6; ++i) out[i] = BigEndian(data, at + 20 + static_cast<std::size_t>(i) * 4, 4);
    return std::all_of(out, out + 6, [](std::int64_t n) { return n >= 0 && n < 100000; });
  };
  std::int64_t n[6];  // isutcnt, isstdcnt, leapcnt, timecnt, typecnt, charcnt
  if (!counts(0, n) || data[4] < '2') return std::nullopt;
  std::size_t at = 44 + static_cast<std::size_t>(n[3] * 5 + n[4] * 6 + n[5] + n[2] * 8 + n[1] + n[0]);
  if (!counts(at, n) || n[4] == 0) return std::nullopt;
  at += 44;
  const auto timecnt = static_cast<std::size_t>(n[3]), typecnt = static_cast<std::size_t>(n[4]),
             charcnt = static_cast<std::size_t>(n[5]);
  if (data.size() < at + timecnt * 9 + typecnt * 6 + charcnt) return std::nullopt;
  TimeZone zone;
  zone.name_ = std::string(name);
  for (std::size_t i = 0; i < timecnt; ++i) zone.transitions_.push_back(BigEndian(data, at + i * 8, 8));
  at += timecnt * 8;
  for (std::size_t i = 0; i < timecnt; ++i) {
    const auto kind = static_cast<std::uint8_t>(data[at + i]);
    if (kind >= typecnt) return std::nullopt;
    zone.kinds_.push_back(kind);
  }
  at += timecnt;
  const std::size_t names = at + typecnt * 6;
  for (std::size_t i = 0; i < typecnt; ++i) {
    const auto index = static_cast<std::size_t>(static_cast<unsigned char>(data[at + i * 6 + 5]));
    std::string abbreviation;
    if (index < charcnt) abbreviation = data.substr(names + index, charcnt - index).c_str();
    zone.kindList_.push_back(Kind{BigEndian(data, at + i * 6, 4), abbreviation});
  }
  if (!std::is_sorted(zone.transitions_.begin(), zone.transitions_.end())) return std::nullopt;
  return zone;
}

TimeZone::Local TimeZone::At(store::Time time) const {
  const std::int64_t seconds = time / kSecond;
  auto after = std::upper_bound(transitions_.begin(), transitions_.end(), seconds);
  // Before the first transition: the zone's first kind; after the last, its last stays.
  const Kind& kind = after == transitions_.begin()
                         ? kindList_.front()
                         : kindList_[kinds_[static_cast<std::size_t>(after - transitions_.begin() - 1)]];
  return Local{kind.offset, kind.abbreviation};
}

std::string TimeZone::Format(store::Time time) const {
  const Local local = At(time);
  std::time_t seconds = static_cast<std::time_t>(time / kSecond + local.offset);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[32];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &parts);
  return std::string(text, length) + " " + local.abbreviation;
}

store::Time TimeZone::NextHour(store::Time time) const {
  // Zones are whole quarter hours from UTC: the next local hour is a UTC quarter hour.
  const std::int64_t local = time / kSecond + At(time).offset;
  return (time / kSecond + (3600 - ((local % 3600) + 3600) % 3600)) * kSecond;
}

store::Time TimeZone::NextDay(store::Time time) const {
  const std::int64_t local = time / kSecond + At(time).offset;
  const std::int64_t midnight = time / kSecond + (86400 - ((local % 86400) + 86400) % 86400);
  // Across a change of offset, midnight moves by it.
  return (midnight - (At(midnight * kSecond).offset - At(time).offset)) * kSecond;
}

}  // namespace mailwarden::notices

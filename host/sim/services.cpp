#include "host/sim/services.h"

#include <iconv.h>

#include <chrono>
#include <ctime>
#include <stdexcept>

namespace host::sim {

LocalTime SimClock::Now() {
  if (isFixed_) return fixed_;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

std::int64_t SimClock::UtcSeconds() {
  if (fixedUtc_) return *fixedUtc_;
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void SimRandom::Randomize() {
  auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
  engine_.seed(static_cast<std::mt19937::result_type>(ticks));
}

double SimRandom::Rnd() {
  if (!scripted_.empty()) {
    int digit = scripted_.front();
    scripted_.pop_front();
    return (digit + 0.5) / 62.0;
  }
  return std::uniform_real_distribution<double>(0.0, 1.0)(engine_);
}

void SimRandom::Script(std::vector<int> digitValues) {
  scripted_.assign(digitValues.begin(), digitValues.end());
}

namespace {
constexpr std::int32_t kUnknown = INT32_MIN;
constexpr std::int16_t kQuestionMark = '?';
}  // namespace

SimCodePage::SimCodePage() {
  Set(1252);
}

SimCodePage::~SimCodePage() {
  if (converter_) iconv_close(static_cast<iconv_t>(converter_));
}

void SimCodePage::Set(unsigned number) {
  const std::string name = "CP" + std::to_string(number);
  iconv_t converter = iconv_open(name.c_str(), "UTF-16LE");
  if (converter == reinterpret_cast<iconv_t>(-1))
    throw std::invalid_argument("unknown code page " + std::to_string(number));
  std::lock_guard lock(mutex_);
  if (converter_) iconv_close(static_cast<iconv_t>(converter_));
  converter_ = converter;
  number_ = number;
  known_.assign(0x10000, kUnknown);
}

std::int16_t SimCodePage::Code(char16_t unit) {
  std::lock_guard lock(mutex_);
  std::int32_t& code = known_[unit];
  if (code != kUnknown) return static_cast<std::int16_t>(code);
  char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  char out[8] = {};
  char* inAt = in;
  char* outAt = out;
  std::size_t inLeft = sizeof in, outLeft = sizeof out;
  auto* converter = static_cast<iconv_t>(converter_);
  iconv(converter, nullptr, nullptr, nullptr, nullptr);  // a fresh state for each unit
  const std::size_t done = iconv(converter, &inAt, &inLeft, &outAt, &outLeft);
  const std::size_t length = sizeof out - outLeft;
  if (done == static_cast<std::size_t>(-1) || inLeft != 0 || length == 0 || length > 2) {
    code = kQuestionMark;
  } else if (length == 1) {
    code = static_cast<unsigned char>(out[0]);
  } else {
    code = static_cast<std::int16_t>(
        static_cast<std::uint16_t>(static_cast<unsigned char>(out[0]) << 8 | static_cast<unsigned char>(out[1])));
  }
  return static_cast<std::int16_t>(code);
}

}  // namespace host::sim

#pragma once
// Stand-in clock, random generator and URL handler.
#include <deque>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "host/services.h"

namespace host::sim {

// A clock that reads the real time, or a fixed one for tests.
class SimClock : public Clock {
 public:
  LocalTime Now() override;
  std::int64_t UtcSeconds() override;
  void Fix(const LocalTime& time) {
    fixed_ = time;
    isFixed_ = true;
  }
  void FixUtc(std::int64_t seconds) { fixedUtc_ = seconds; }

 private:
  LocalTime fixed_;
  bool isFixed_ = false;
  std::optional<std::int64_t> fixedUtc_;
};

// Seeded from the clock by Randomize, like the platform's; tests may script
// the draws instead: each scripted digit value d comes back as (d + 0.5) / 62,
// so floor(u * 62) gives d.
class SimRandom : public Random {
 public:
  void Randomize() override;
  double Rnd() override;
  void Script(std::vector<int> digitValues);

 private:
  std::mt19937 engine_{12345};
  std::deque<int> scripted_;
};

// Records the addresses the add-in asks the system to open.
class SimUrlHandler : public UrlHandler {
 public:
  void FileProtocolHandler(const std::string& address) override { opened.push_back(address); }
  std::vector<std::string> opened;
};

// The system code page as a setting of the stand-in (1252 unless set),
// converting each unit through iconv the way the system would.
class SimCodePage : public CodePage {
 public:
  SimCodePage();
  ~SimCodePage() override;
  SimCodePage(const SimCodePage&) = delete;
  SimCodePage& operator=(const SimCodePage&) = delete;

  // Throws std::invalid_argument for a code page iconv does not know.
  void Set(unsigned number);
  unsigned Number() override { return number_; }
  std::int16_t Code(char16_t unit) override;

 private:
  std::mutex mutex_;
  unsigned number_ = 0;
  void* converter_ = nullptr;        // iconv_t, UTF-16LE to the code page
  std::vector<std::int32_t> known_;  // per unit its code, or kUnknown
};

}  // namespace host::sim

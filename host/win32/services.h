#pragma once
// The clock, the random generator and the system's URL handler.
#include <cstdint>
#include <random>

#include "host/services.h"

namespace host::win32 {

class Clock final : public host::Clock {
 public:
  LocalTime Now() override;
};

// Seeded from the clock when made and on Randomize.
class Random final : public host::Random {
 public:
  Random();
  void Randomize() override;
  double Rnd() override;

 private:
  std::mt19937 engine_;
};

class UrlHandler final : public host::UrlHandler {
 public:
  void FileProtocolHandler(const std::string& address) override;
};

}  // namespace host::win32

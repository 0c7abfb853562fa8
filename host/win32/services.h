#pragma once
// The clock, the random generator, the system's URL handler and its code page.
#include <cstdint>
#include <random>

#include "host/services.h"

namespace host::win32 {

class Clock final : public host::Clock {
 public:
  LocalTime Now() override;
  std::int64_t UtcSeconds() override;
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

// The system's ANSI code page (GetACP), each unit converted by
// WideCharToMultiByte as the system converts any ANSI text.
class CodePage final : public host::CodePage {
 public:
  unsigned Number() override;
  std::int16_t Code(char16_t unit) override;
};

}  // namespace host::win32

#pragma once
// The clock, the random generator, the system's URL handler and its code page.
#include <cstdint>
#include <string>

namespace host {

struct LocalTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  // Seconds since 1970-01-01 00:00 UTC, whatever the time zone: what a
  // signed request carries, so the service can tell an old one.
  virtual std::int64_t UtcSeconds() = 0;
};

// The platform's pseudo-random generator.
class Random {
 public:
  virtual ~Random() = default;
  // Re-seeds from the system clock.
  virtual void Randomize() = 0;
  // The next number, uniform in [0, 1).
  virtual double Rnd() = 0;
};

class UrlHandler {
 public:
  virtual ~UrlHandler() = default;
  // "rundll32.exe url.dll,FileProtocolHandler " + address, in a normal window
  // with focus, not waited for.
  virtual void FileProtocolHandler(const std::string& address) = 0;
};

// The system's ANSI code page, which decides the character codes the
// service's escapes and hashes are made of.
class CodePage {
 public:
  virtual ~CodePage() = default;
  // Its number: 1252, 932, ...
  virtual unsigned Number() = 0;
  // The code of one UTF-16 unit as the platform's conversion to the code page
  // gives it: 0 to 255 for one byte; two bytes as one 16-bit number, lead
  // byte high, so negative; the code of "?" for a unit the code page lacks.
  virtual std::int16_t Code(char16_t unit) = 0;
};

}  // namespace host

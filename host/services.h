#pragma once
// The clock, the random generator and the system's URL handler.
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

}  // namespace host

#include "checks.h"

#include <cstdio>
#include <mutex>

namespace standin {
namespace {

std::mutex& Lock() {
  static std::mutex mutex;
  return mutex;
}
int failed = 0;

// Control characters shown as escapes, so CR LF differences are visible.
std::string Shown(const std::string& text) {
  std::string shown;
  for (unsigned char c : text) {
    if (c == '\r')
      shown += "\\r";
    else if (c == '\n')
      shown += "\\n";
    else if (c < 0x20)
      shown += "\\x" + std::to_string(c);
    else
      shown += static_cast<char>(c);
  }
  return shown;
}

}  // namespace

bool Check(bool ok, const std::string& what) {
  std::lock_guard lock(Lock());
  if (!ok) ++failed;
  std::printf("%s %s\n", ok ? "PASS" : "FAIL", what.c_str());
  std::fflush(stdout);
  return ok;
}

bool CheckEqual(const std::string& actual, const std::string& expected, const std::string& what) {
  bool ok = actual == expected;
  Check(ok, what);
  if (!ok) {
    std::lock_guard lock(Lock());
    std::printf("     expected: \"%s\"\n     actual:   \"%s\"\n", Shown(expected).c_str(), Shown(actual).c_str());
    std::fflush(stdout);
  }
  return ok;
}

bool CheckEqual(long long actual, long long expected, const std::string& what) {
  bool ok = actual == expected;
  Check(ok, what);
  if (!ok) {
    std::lock_guard lock(Lock());
    std::printf("     expected: %lld\n     actual:   %lld\n", expected, actual);
    std::fflush(stdout);
  }
  return ok;
}

void Note(const std::string& text) {
  std::lock_guard lock(Lock());
  std::printf("---- %s\n", text.c_str());
  std::fflush(stdout);
}

int FailedChecks() {
  std::lock_guard lock(Lock());
  return failed;
}

}  // namespace standin

#include "host/win32/services.h"

#include <vector>

#include "host/error.h"
#include "host/win32/text.h"
#include "host/win32/win32_api.h"

namespace host::win32 {

LocalTime Clock::Now() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::int64_t Clock::UtcSeconds() {
  // A FILETIME counts 100-nanosecond steps since 1601-01-01 UTC.
  constexpr std::int64_t kSteps1601To1970 = 116444736000000000;
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const std::int64_t steps = static_cast<std::int64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
  return (steps - kSteps1601To1970) / 10000000;
}

Random::Random() {
  Randomize();
}

void Random::Randomize() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  std::seed_seq seed{now.dwLowDateTime, now.dwHighDateTime, static_cast<DWORD>(GetTickCount())};
  engine_.seed(seed);
}

double Random::Rnd() {
  // 32 random bits over 2^32: never 1.
  return static_cast<double>(engine_()) / 4294967296.0;
}

void UrlHandler::FileProtocolHandler(const std::string& address) {
  std::wstring commandLine = Widen("rundll32.exe url.dll,FileProtocolHandler " + address);
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    throw Error(static_cast<std::int32_t>(GetLastError()), "cannot start the URL handler");
  // Not waited for.
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

unsigned CodePage::Number() {
  return GetACP();
}

std::int16_t CodePage::Code(char16_t unit) {
  const wchar_t wide = static_cast<wchar_t>(unit);
  char bytes[4] = {};
  const int length = WideCharToMultiByte(CP_ACP, 0, &wide, 1, bytes, sizeof bytes, nullptr, nullptr);
  if (length == 1) return static_cast<unsigned char>(bytes[0]);
  if (length == 2)
    return static_cast<std::int16_t>(
        static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[0]) << 8 | static_cast<unsigned char>(bytes[1])));
  return '?';
}

}  // namespace host::win32

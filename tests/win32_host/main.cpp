// corvanta-outlook-standin: plays Outlook 2000 for the real Corvix.dll under
// Wine and checks what the add-in does, as a user at the screen would see it.
//   corvanta-outlook-standin --scenario first-start|service-down|no-redemption|terms-declined
//       --dll <Corvix.dll> --service <host:port> --artifacts <folder> --credit <n> [--service-key <key>]
//   corvanta-outlook-standin --scenario installed|hold-addin|setup-pages|uninstall-pages
//       [--setup <setup.exe or Uninstall.exe>]
//       --service <host:port> --artifacts <folder>      (the add-in as the setup program installed it)
#include <cstdio>
#include <cstring>
#include <exception>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "checks.h"
#include "scenarios.h"
#include "setup_scenarios.h"

namespace {

// A crash ends the run at once with where it happened, instead of waiting for a debugger.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  HMODULE module = nullptr;
  char name[MAX_PATH] = "?";
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<LPCSTR>(record.ExceptionAddress), &module))
    GetModuleFileNameA(module, name, sizeof name);
  std::printf("FAIL the process crashed: exception 0x%08lX at %p (%s+0x%lX)\n", record.ExceptionCode,
              record.ExceptionAddress, name,
              static_cast<unsigned long>(reinterpret_cast<const char*>(record.ExceptionAddress) -
                                         reinterpret_cast<const char*>(module)));
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 99);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv) {
  SetUnhandledExceptionFilter(&ReportCrash);
  standin::Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string name = argv[i], value = argv[i + 1];
    if (name == "--scenario")
      options.scenario = value;
    else if (name == "--dll")
      options.dll = value;
    else if (name == "--service")
      options.service = value;
    else if (name == "--artifacts")
      options.artifacts = value;
    else if (name == "--setup")
      options.setup = value;
    else if (name == "--service-key")
      options.serviceKey = value;
    else if (name == "--credit")
      options.startingCredit = std::atoi(value.c_str());
    else {
      std::fprintf(stderr, "unknown option %s\n", name.c_str());
      return 2;
    }
  }
  // The scenarios of an installed add-in find its DLL through the registry.
  bool installed = options.scenario == "installed" || options.scenario == "hold-addin" ||
                   options.scenario == "setup-pages" || options.scenario == "uninstall-pages";
  if (options.scenario.empty() || (options.dll.empty() && !installed) || options.service.empty() ||
      options.artifacts.empty()) {
    std::fprintf(stderr, "usage: %s --scenario NAME --dll PATH --service HOST:PORT --artifacts DIR [--credit N]\n",
                 argv[0]);
    return 2;
  }

  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
  try {
    if (options.scenario == "first-start")
      standin::FirstStart(options);
    else if (options.scenario == "service-down")
      standin::ServiceDown(options);
    else if (options.scenario == "no-redemption")
      standin::NoRedemption(options);
    else if (options.scenario == "languages")
      standin::Languages(options);
    else if (options.scenario == "terms-declined")
      standin::TermsDeclined(options);
    else if (options.scenario == "installed")
      standin::InstalledSend(options);
    else if (options.scenario == "hold-addin")
      standin::HoldAddin(options);
    else if (options.scenario == "setup-pages")
      standin::SetupPages(options);
    else if (options.scenario == "uninstall-pages")
      standin::UninstallPages(options);
    else
      standin::Check(false, "known scenario " + options.scenario);
  } catch (const std::exception& error) {
    standin::Check(false, std::string("the scenario ran to its end: ") + error.what());
  }
  CoUninitialize();
  int failed = standin::FailedChecks();
  std::printf("%s: %s (%d failed)\n", options.scenario.c_str(), failed ? "FAILED" : "passed", failed);
  return failed ? 1 : 0;
}

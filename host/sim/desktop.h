#pragma once
// One stand-in desktop: Outlook with its mail store, Redemption, the screen
// and its scripted user, the network, the registry, the clock. Tests and the
// command-line program run the add-in on it.
#include <filesystem>
#include <memory>
#include <string>

#include "host/platform.h"
#include "host/sim/mail_store.h"
#include "host/sim/outlook.h"
#include "host/sim/redemption.h"
#include "host/sim/registry.h"
#include "host/sim/services.h"
#include "host/sim/transfer.h"
#include "host/sim/windowing.h"

namespace host::sim {

// The add-in's own settings key under HKCU.
inline constexpr const char* kAddinKey = "Software\\Microsoft\\Office\\Outlook\\Addins\\Corvix.Connect";

struct SimDesktop {
  // outlookVersion: what every item's OutlookVersion gives ("9.0" is Outlook 2000).
  // The main window is open, as when Outlook has started.
  SimDesktop(const std::filesystem::path& storeDir, const std::string& outlookVersion);
  SimDesktop(const SimDesktop&) = delete;
  SimDesktop& operator=(const SimDesktop&) = delete;

  // A setting of the add-in under its key in HKCU.
  void SetString(const std::string& name, const std::string& value);
  void SetDword(const std::string& name, std::uint32_t value);
  // The profile's user as Redemption reports it; also the From of what leaves.
  void SetSender(const std::string& name, const std::string& address);

  SimRegistry registry;
  SimWindowing windowing;
  SimRedemption redemption;
  CurlInternet internet{windowing};
  SimClock clock;
  SimRandom random;
  SimUrlHandler urlHandler;
  SimCodePage codePage;
  Platform platform{registry, windowing, redemption, internet, clock, random, urlHandler, codePage};
  std::shared_ptr<MailStore> store;
  std::shared_ptr<SimOutlook> outlook;
};

}  // namespace host::sim

#pragma once
// One stand-in world: every stand-in bundled into a host::Platform, a mail
// store in a fresh temporary folder, and the add-in object, as a test or the
// command-line program would set them up. Nothing here starts the add-in:
// tests call OnConnection / OnStartupComplete themselves.
#include <filesystem>
#include <memory>
#include <string>

#include "addin/connect.h"
#include "host/sim/mail_store.h"
#include "host/sim/outlook.h"
#include "host/sim/redemption.h"
#include "host/sim/registry.h"
#include "host/sim/services.h"
#include "host/sim/transfer.h"
#include "host/sim/windowing.h"

namespace testsupport {

inline constexpr const char* kCvxRegPath = "Software\\Microsoft\\Office\\Outlook\\Addins\\Corvix.Connect";

struct SimWorld {
  // outlookVersion: what every item's OutlookVersion gives ("9.0" is Outlook 2000).
  explicit SimWorld(const std::string& outlookVersion = "9.0");
  ~SimWorld();
  SimWorld(const SimWorld&) = delete;
  SimWorld& operator=(const SimWorld&) = delete;

  // Settings the add-in reads at start-up, under its own key in HKCU.
  void SetString(const std::string& name, const std::string& value);
  void SetDword(const std::string& name, std::uint32_t value);
  // Points "ServiceHost" at a loopback service ("127.0.0.1:PORT").
  void UseService(const std::string& hostPort) { SetString("ServiceHost", hostPort); }
  // A user who has accepted the terms before ("TOUA" = 1).
  void AcceptedBefore() { SetDword("TOUA", 1); }
  // The sender as Redemption reports it, and as the mail store writes From.
  void SetSender(const std::string& name, const std::string& address);

  // OnConnection with the stand-in Outlook, then OnStartupComplete.
  void Start();

  std::filesystem::path storeDir;
  host::sim::SimRegistry registry;
  host::sim::SimWindowing windowing;
  host::sim::SimRedemption redemption;
  host::sim::CurlInternet internet{windowing};
  host::sim::SimClock clock;
  host::sim::SimRandom random;
  host::sim::SimUrlHandler urlHandler;
  host::Platform platform{registry, windowing, redemption, internet, clock, random, urlHandler};
  std::shared_ptr<host::sim::MailStore> store;
  std::shared_ptr<host::sim::SimOutlook> outlook;
  std::unique_ptr<corvanta::Connect> addin;
};

}  // namespace testsupport

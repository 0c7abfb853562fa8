#pragma once
// One stand-in world for a test: a stand-in desktop with its mail store in a
// fresh temporary folder, and the add-in object. Nothing here starts the
// add-in: tests call Start(), or OnConnection / OnStartupComplete themselves.
#include <filesystem>
#include <memory>
#include <string>

#include "addin/connect.h"
#include "host/sim/desktop.h"
#include "support/manual_clock.h"

namespace testsupport {

inline constexpr const char* kCvxRegPath = host::sim::kAddinKey;

// The store's folder, made before the desktop that writes into it.
struct TempStoreDir {
  TempStoreDir();
  ~TempStoreDir();
  std::filesystem::path storeDir;
};

struct SimWorld : TempStoreDir, host::sim::SimDesktop {
  explicit SimWorld(const std::string& outlookVersion = "9.0");
  ~SimWorld();

  // Points "ServiceHost" at a loopback service ("127.0.0.1:PORT").
  void UseService(const std::string& hostPort) { SetString("ServiceHost", hostPort); }
  // A user who has accepted the terms before ("TOUA" = 1).
  void AcceptedBefore() { SetDword("TOUA", 1); }

  // OnConnection with the stand-in Outlook, then OnStartupComplete.
  void Start();

  std::unique_ptr<corvanta::Connect> addin;
  // The transfers' time-outs: still unless a test moves it.
  ManualClock transferClock;
};

}  // namespace testsupport

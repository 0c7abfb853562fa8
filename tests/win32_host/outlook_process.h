#pragma once
// The stand-in Outlook process: the stand-in model of host/sim behind COM,
// a main window of Outlook's class, the stand-in Redemption registered by
// ProgID, the user at the screen, and the add-in loaded as Outlook loads it.
#include <deque>
#include <filesystem>
#include <memory>
#include <string>

#include "extensibility.h"
#include "host/sim/outlook.h"
#include "host/sim/redemption.h"
#include "redemption_objects.h"
#include "window_watcher.h"

namespace standin {

struct Options {
  std::string scenario;
  std::string dll;      // Corvix.dll, as Windows names it
  std::string service;  // host:port of mailwarden
  std::filesystem::path artifacts;
  int startingCredit = 0;
  std::string setup;       // the setup program, for the scenarios that run it
  std::string serviceKey;  // "ServiceKey", the sender's add-in key; empty: none
};

inline constexpr const char* kSenderName = "Ann Archer";
inline constexpr const char* kSenderAddress = "ann@example.test";

class OutlookProcess {
 public:
  OutlookProcess(const Options& options, bool redemptionInstalled);
  OutlookProcess(const OutlookProcess&) = delete;
  OutlookProcess& operator=(const OutlookProcess&) = delete;
  ~OutlookProcess();

  // regsvr32 on the DLL and the keys it must write.
  void RegisterAddin();
  // The add-in's own settings as on a first start; "ServiceHost" points at
  // serviceHost, "ServiceKey" holds serviceKey (none when empty).
  void ResetSettings(const std::string& serviceHost, const std::string& serviceKey = {});

  // As Outlook starts an add-in: CoCreateInstance by ProgID (or the object
  // given, made from an installed add-in), IDTExtensibility2, OnConnection
  // (Startup), then OnStartupComplete.
  void Connect(IUnknown* created = nullptr);
  void StartupComplete();
  // As Outlook ends: the main window closes, OnBeginShutdown,
  // OnDisconnection (HostShutdown), the final Release; then every object of
  // this host must be gone and the DLL must agree to be unloaded.
  void Shutdown();

  // A new compose window for item, raising NewInspector.
  std::shared_ptr<host::sim::SimInspector> Open(std::shared_ptr<host::sim::SimMailItem> item);
  // The user picks a button of the window's "Tracking" pop-up.
  void Click(const std::shared_ptr<host::sim::SimInspector>& inspector, const std::string& caption);
  // Checks the drop-down a window got.
  void CheckDropDown(const std::shared_ptr<host::sim::SimInspector>& inspector, bool visible);

  // What the progress window must show at each coming Send: the step and the address.
  void ExpectSend(const std::string& step, const std::string& address);
  void VerifySends(const std::string& step);

  // Runs the window messages waiting on this thread.
  static void Pump();

  host::sim::SimOutlook& outlook() { return *outlook_; }
  host::sim::SimRedemption& redemption() { return *redemption_; }
  WindowWatcher& user() { return *watcher_; }
  const Options& options() const { return options_; }
  // Outlook's main window, which owns the add-in's modal windows.
  HWND mainWindow() const { return mainWindow_; }
  std::filesystem::path Screenshot(const std::string& name) const;

 private:
  void BeforeSend();

  Options options_;
  std::shared_ptr<host::sim::SimOutlook> outlook_;
  std::shared_ptr<host::sim::SimRedemption> redemption_;
  std::shared_ptr<host::sim::SimExplorer> explorer_;
  std::unique_ptr<RedemptionClasses> classes_;
  std::unique_ptr<WindowWatcher> watcher_;
  HWND mainWindow_ = nullptr;
  IDTExtensibility2* addin_ = nullptr;
  IDispatch* application_ = nullptr;
  IDispatch* addInInst_ = nullptr;
  SAFEARRAY* custom_ = nullptr;
  std::deque<std::pair<std::string, std::string>> sends_;
  bool progressShot_ = false;
};

}  // namespace standin

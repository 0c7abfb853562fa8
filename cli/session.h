#pragma once
// One run of the add-in on the stand-in desktop, as the commands share it:
// the registry read from its .reg file (and saved at the end), the mail
// store, the sender, the person at the terminal, and the add-in started the
// way Outlook starts it.
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "addin/connect.h"
#include "cli/identity.h"
#include "cli/terminal_user.h"
#include "host/sim/desktop.h"

namespace cli {

// A wrong command line: the message is printed and the exit status is 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SessionOptions {
  std::string service;       // "ServiceHost"; empty keeps the stored one
  std::string serviceKey;    // "ServiceKey", the add-in key; empty keeps the stored one
  std::string from;          // 'Name <address>'
  std::string registryFile;  // empty: the default under $XDG_CONFIG_HOME
  std::string storeDir;      // empty: the default under $XDG_DATA_HOME
  std::string outlook = "2000";
  unsigned codePage = 1252;  // the system's ANSI code page
  UserOptions user;
};

std::filesystem::path DefaultRegistryFile();
std::filesystem::path DefaultStoreDir();
// "2000" and "2002" are Outlook's own numbers ("9.0", "10.0"); anything else is taken as it is.
std::string OutlookVersionText(const std::string& outlook);

class Session {
 public:
  // Throws UsageError for a wrong --from, std::runtime_error for an unreadable registry file.
  Session(const SessionOptions& options, std::ostream& out, std::istream& in);
  ~Session();

  // OnConnection and OnStartupComplete; true when the add-in is ready to
  // send (the terms are accepted).
  bool Start();
  // OnBeginShutdown and OnDisconnection, then the registry is saved.
  void Finish();

  host::sim::SimDesktop desktop;
  TerminalUser user;
  corvanta::Connect addin{desktop.platform};
  std::ostream& out;

 private:
  std::filesystem::path registryFile_;
  bool finished_ = false;
};

}  // namespace cli

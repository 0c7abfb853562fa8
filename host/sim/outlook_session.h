#pragma once
// What one stand-in Outlook shares with its items, windows and folders.
// Internal to the stand-in; tests use SimOutlook.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/sim/outlook.h"

namespace host::sim {

struct SimSession {
  std::string version;
  std::shared_ptr<Faults> faults = std::make_shared<Faults>();
  std::map<std::string, std::shared_ptr<SimFolder>> folders;
  std::shared_ptr<MailStore> store;
  SimAddress currentUser;
  bool refuseCurrentUser = false;
  int guardPrompts = 0;
  std::shared_ptr<SimInspectors> inspectors = std::make_shared<SimInspectors>();
  std::vector<std::shared_ptr<SimInspector>> openInspectors;  // the last is the active one
  std::vector<std::shared_ptr<SimExplorer>> openExplorers;    // the last is the active one
  std::vector<std::shared_ptr<SimExplorer>> everyExplorer;
  int explorerCloseCalls = 0;
  // Outlook's work that follows later on its own thread (see SimOutlook::SetEventQueue).
  std::function<void(std::function<void()>)> post;
  bool saveSentCopies = true;
  std::vector<std::shared_ptr<SimMailItem>> handedForDelivery;

  std::shared_ptr<SimFolder> Folder(const std::string& name) const {
    auto found = folders.find(name);
    return found == folders.end() ? nullptr : found->second;
  }
  // Closes the windows that show this item.
  void CloseWindowsOf(const SimMailItem* item);
};

}  // namespace host::sim

#pragma once
// Failure injection for the stand-in Outlook, command bars and Redemption:
// every guarded member reports its operation name ("MailItem.Copy",
// "CommandBarControls.Add", "SafeMailItem.Send", ...) here first, which also
// counts the calls, and throws host::Error when a test planned a failure.
// Names are "<Interface>.<Member>", with "Set" before a property's name for
// its write: "CommandBarControl.SetVisible", "CommandBarButton.SetFaceId",
// "CommandBars.Item", "Inspector.CommandBars", "Application.CreateItem",
// "NameSpace.CurrentUser", "Recipient.Address", "MailItem.Save". Outlook and
// its command bars share one Faults (SimOutlook::faults()); Redemption has
// its own (SimRedemption::faults()), which also counts the Create calls
// under their ProgIds.
#include <cstdint>
#include <map>
#include <string>

namespace host::sim {

// E_FAIL, what an Office or MAPI call that simply failed returns.
constexpr std::int32_t kInjectedFailure = static_cast<std::int32_t>(0x80004005u);

class Faults {
 public:
  // Every later call of op fails.
  void FailAlways(const std::string& op);
  // The nth call of op from now on (1 = the next one) fails, once.
  void FailNth(const std::string& op, int nth);
  // No more planned failures; counts stay.
  void Clear();
  // How many times op was called (failed calls included).
  int Calls(const std::string& op) const;

  // Counts the call and throws host::Error(kInjectedFailure, ...) when planned.
  void Check(const std::string& op);

 private:
  struct Plan {
    bool always = false;
    int failAt = 0;  // the call number that fails, 0 for none
  };
  std::map<std::string, int> calls_;
  std::map<std::string, Plan> plans_;
};

}  // namespace host::sim

#include "host/sim/desktop.h"

namespace host::sim {

SimDesktop::SimDesktop(const std::filesystem::path& storeDir, const std::string& outlookVersion)
    : store(std::make_shared<MailStore>(storeDir)), outlook(std::make_shared<SimOutlook>(outlookVersion)) {
  outlook->SetMailStore(store);
  outlook->SetEventQueue([pump = windowing.Pump()](std::function<void()> work) { pump->Post(std::move(work)); });
  outlook->OpenExplorer();
}

void SimDesktop::SetString(const std::string& name, const std::string& value) {
  registry.Put(HKEY_CURRENT_USER, kAddinKey, name, RegValue::String(value));
}

void SimDesktop::SetDword(const std::string& name, std::uint32_t value) {
  registry.Put(HKEY_CURRENT_USER, kAddinKey, name, RegValue::Dword(value));
}

void SimDesktop::SetSender(const std::string& name, const std::string& address) {
  redemption.SetCurrentUser(SimAddress::Smtp(name, address));
  store->SetSender({name, address});
}

}  // namespace host::sim

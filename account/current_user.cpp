#include <exception>
#include <string>

#include "addin/connect.h"
#include "settings/mod_registry.h"

namespace corvanta {

namespace {

constexpr const char* kWarning =
    "Corvanta is trying to read your Email address and your name. "
    "This might trigger security warnings. "
    "Please response Yes to the following prompts about accessing e-mail addresses.";

std::string ReadCached(Connect& addin, const std::string& valueName) {
  modRegistry::Value value;
  modRegistry::ReadSetting(addin.platform.registry, "HKCU", addin.cvxRegPath, valueName, "S", std::string(), value);
  const auto* text = std::get_if<std::string>(&value);
  return text ? *text : std::string();
}

// The entry's own address when it is an Internet one, else its SMTP property.
std::string SmtpOf(host::AddressEntry& entry) {
  if (entry.Fields(host::PR_ADDRTYPE) == "SMTP") return entry.Address();
  return entry.Fields(host::PR_SMTP_ADDRESS);
}

}  // namespace

void Connect::LoadCurrentUser() {
  std::int16_t stepCode = 0;
  try {
    stepCode = 80;
    auto user = platform.redemption.CreateSafeCurrentUser();
    if (!user) throw host::Error("Redemption.SafeCurrentUser could not be created");
    const std::string address = user->Address();

    stepCode = 81;
    if (!address.empty()) {
      redWorks = true;
      fromAddy = user->Fields(host::PR_ADDRTYPE) != "SMTP" ? user->Fields(host::PR_SMTP_ADDRESS) : address;
      fromName = user->Name();
    }
    if (fromAddy.empty()) {
      redWorks = false;
      fromAddy = ReadCached(*this, "currentUserAddress");
      fromName = ReadCached(*this, "currentUserName");
      if (!fromAddy.empty()) return;  // the cached identity needs no report

      platform.windowing.MsgBox(kWarning, host::MsgButtons::OK, host::MsgIcon::Exclamation);
      if (!goOutlook) throw host::Error("Outlook is not connected");
      auto mapi = goOutlook->GetNamespace("MAPI");
      auto currentUser = mapi ? mapi->CurrentUser() : nullptr;
      if (!currentUser) throw host::Error("Outlook gave no current user");
      fromAddy = currentUser->Address();
      fromName = currentUser->Name();
    }

    // An address read through Redemption is read afresh each time, never cached.
    stepCode = 85;
    if (!redWorks) {
      modRegistry::WriteSetting(platform.registry, "HKCU", cvxRegPath, "currentUserAddress", "S", fromAddy);
      modRegistry::WriteSetting(platform.registry, "HKCU", cvxRegPath, "currentUserName", "S", fromName);
    }
    stepCode = fromAddy.empty() ? 88 : 0;
  } catch (const std::exception&) {
    // The members keep what was assigned; the step code says where it stopped.
  }
  ShowStepError(stepCode);
}

std::string Connect::GetSenderAddress() {
  if (!redWorks) return fromAddy;
  auto user = platform.redemption.CreateSafeCurrentUser();
  return SmtpOf(*user);
}

std::string Connect::GetSenderName() {
  if (!redWorks) return fromName;
  return platform.redemption.CreateSafeCurrentUser()->Name();
}

std::string Connect::GetSmtpAddress(host::AddressEntry& entry) {
  return SmtpOf(entry);
}

}  // namespace corvanta

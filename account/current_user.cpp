// Placeholder until this operation is built; replace the whole file.
#include "addin/connect.h"
#include "sending/dlg_progress.h"

namespace corvanta {

void Connect::LoadCurrentUser() { throw host::Error("not built yet"); }
std::string Connect::GetSenderAddress() { throw host::Error("not built yet"); }
std::string Connect::GetSenderName() { throw host::Error("not built yet"); }
std::string Connect::GetSmtpAddress(host::AddressEntry&) { throw host::Error("not built yet"); }

}  // namespace corvanta

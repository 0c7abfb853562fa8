// Placeholder until this operation is built; replace the whole file.
#include "addin/connect.h"
#include "sending/dlg_progress.h"

namespace corvanta {

std::string Connect::GetStamps(dlgProgress&, host::SafeMailItem&, const std::string&, const std::string&) { throw host::Error("not built yet"); }

}  // namespace corvanta

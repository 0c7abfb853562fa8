// Placeholder until this operation is built; replace the whole file.
#include "addin/connect.h"
#include "sending/dlg_progress.h"

namespace corvanta {

std::int32_t Connect::GetCredit(dlgProgress&, const std::string&) { throw host::Error("not built yet"); }

}  // namespace corvanta

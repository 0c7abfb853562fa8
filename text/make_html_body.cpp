// Placeholder until this operation is built; replace the whole file.
#include "addin/connect.h"
#include "sending/dlg_progress.h"

namespace corvanta {

std::string Connect::MakeHtmlBody(std::string&, std::string&, const std::string&, bool) { throw host::Error("not built yet"); }

}  // namespace corvanta

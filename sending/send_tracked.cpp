// Placeholder until this operation is built; replace the whole file.
#include "addin/connect.h"
#include "sending/dlg_progress.h"

namespace corvanta {

void Connect::SendTracked(const std::string&, const std::string&, bool) { throw host::Error("not built yet"); }
void Connect::SendReceiveSimulation() { throw host::Error("not built yet"); }

}  // namespace corvanta

// Placeholder until this operation is built; replace the whole file.
#include "addin/connect.h"
#include "sending/dlg_progress.h"

namespace corvanta {

void Connect::OnConnection(std::shared_ptr<host::Application>, int) { throw host::Error("not built yet"); }
void Connect::OnDisconnection(int) { throw host::Error("not built yet"); }
void Connect::OnAddInsUpdate() { throw host::Error("not built yet"); }
void Connect::OnStartupComplete() { throw host::Error("not built yet"); }
void Connect::OnBeginShutdown() { throw host::Error("not built yet"); }
void Connect::oMyExplorer_Close() { throw host::Error("not built yet"); }

}  // namespace corvanta

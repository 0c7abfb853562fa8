// Placeholder until this operation is built; replace the whole file.
#include "addin/connect.h"
#include "sending/dlg_progress.h"

namespace corvanta {

void Connect::goInspectors_NewInspector(std::shared_ptr<host::Inspector>) { throw host::Error("not built yet"); }

}  // namespace corvanta

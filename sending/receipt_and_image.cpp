// Placeholder until this operation is built; replace the whole file.
#include "addin/connect.h"
#include "sending/dlg_progress.h"

namespace corvanta {

void Connect::autoButton_Click(ButtonPtr, bool&) { throw host::Error("not built yet"); }
void Connect::requButton_Click(ButtonPtr, bool&) { throw host::Error("not built yet"); }

}  // namespace corvanta

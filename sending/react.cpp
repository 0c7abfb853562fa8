// Placeholder until this operation is built; replace the whole file.
#include "addin/connect.h"
#include "sending/dlg_progress.h"

namespace corvanta {

bool Connect::React(const std::string&, const std::string&) { throw host::Error("not built yet"); }
void Connect::ShowStepError(std::int16_t) { throw host::Error("not built yet"); }

}  // namespace corvanta

#include "addin/connect.h"

namespace corvanta {

Connect::Connect(host::Platform& platformServices) : platform(platformServices) {}

Connect::~Connect() {
  // Stop every event first: a late one would reach an add-in that is gone.
  autoButtonEvents.reset();
  requButtonEvents.reset();
  guarButtonEvents.reset();
  aboutButtonEvents.reset();
  explorerEvents.reset();
  inspectorsEvents.reset();
  sentItemsEvents.reset();
}

}  // namespace corvanta

#pragma once
// One stand-in desktop with the add-in on it, made once per run: the targets
// that need a Connect on a platform share it and clear what it recorded
// before each input, so memory stays flat however long the run.
#include "addin/connect.h"
#include "host/sim/desktop.h"

namespace fuzz {

struct StandInWorld {
  host::sim::SimDesktop& desktop;
  corvanta::Connect& addin;
};

// The shared world; its records (message boxes, dialogs) are cleared.
StandInWorld& World();

}  // namespace fuzz

#include "support/stand_in_world.h"

#include <unistd.h>

#include <filesystem>
#include <memory>

namespace fuzz {
namespace {

// The mail store wants a folder when it is made; nothing fuzzed here writes
// into it, so it is removed at once and a crash leaves nothing behind.
std::unique_ptr<host::sim::SimDesktop> MakeDesktop() {
  const auto storeDir = std::filesystem::temp_directory_path() / ("corvanta-fuzz-" + std::to_string(::getpid()));
  auto desktop = std::make_unique<host::sim::SimDesktop>(storeDir, "9.0");
  std::error_code ignored;
  std::filesystem::remove_all(storeDir, ignored);
  return desktop;
}

}  // namespace

StandInWorld& World() {
  // Never destroyed: libFuzzer may end the run from any thread.
  static auto* desktop = MakeDesktop().release();
  static auto* addin = new corvanta::Connect(desktop->platform);
  static StandInWorld world{*desktop, *addin};
  desktop->windowing.ClearRecords();
  return world;
}

}  // namespace fuzz

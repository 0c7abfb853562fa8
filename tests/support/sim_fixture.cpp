#include "support/sim_fixture.h"

#include <unistd.h>

#include <atomic>

namespace testsupport {

TempStoreDir::TempStoreDir() {
  static std::atomic<int> counter{0};
  storeDir = std::filesystem::temp_directory_path() /
             ("corvanta-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(storeDir);
}

TempStoreDir::~TempStoreDir() {
  std::error_code ignored;
  std::filesystem::remove_all(storeDir, ignored);
}

SimWorld::SimWorld(const std::string& outlookVersion) : SimDesktop(storeDir, outlookVersion) {
  internet.SetClock(transferClock.Reader());
  addin = std::make_unique<corvanta::Connect>(platform);
}

// The add-in goes before the stand-ins it holds on to.
SimWorld::~SimWorld() {
  addin.reset();
}

void SimWorld::Start() {
  addin->OnConnection(outlook, 1);
  addin->OnStartupComplete();
}

}  // namespace testsupport

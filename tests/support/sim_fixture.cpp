#include "support/sim_fixture.h"

#include <atomic>
#include <unistd.h>

namespace testsupport {

namespace {

std::filesystem::path FreshStoreDir() {
  static std::atomic<int> counter{0};
  auto dir = std::filesystem::temp_directory_path() /
             ("corvanta-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(dir);
  return dir;
}

}  // namespace

SimWorld::SimWorld(const std::string& outlookVersion)
    : storeDir(FreshStoreDir()),
      store(std::make_shared<host::sim::MailStore>(storeDir)),
      outlook(std::make_shared<host::sim::SimOutlook>(outlookVersion)) {
  outlook->SetMailStore(store);
  outlook->OpenExplorer();
  addin = std::make_unique<corvanta::Connect>(platform);
}

SimWorld::~SimWorld() {
  addin.reset();
  std::error_code ignored;
  std::filesystem::remove_all(storeDir, ignored);
}

void SimWorld::SetString(const std::string& name, const std::string& value) {
  registry.Put(host::HKEY_CURRENT_USER, kCvxRegPath, name, host::sim::RegValue::String(value));
}

void SimWorld::SetDword(const std::string& name, std::uint32_t value) {
  registry.Put(host::HKEY_CURRENT_USER, kCvxRegPath, name, host::sim::RegValue::Dword(value));
}

void SimWorld::SetSender(const std::string& name, const std::string& address) {
  redemption.SetCurrentUser(host::sim::SimAddress::Smtp(name, address));
  store->SetSender({name, address});
}

void SimWorld::Start() {
  addin->OnConnection(outlook, 1);
  addin->OnStartupComplete();
}

}  // namespace testsupport

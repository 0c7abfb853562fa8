#include "cli/session.h"

#include <cstdlib>
#include <iostream>
#include <stdexcept>

#include "protocol/request_signature.h"

namespace cli {

namespace {

std::filesystem::path XdgDir(const char* variable, const char* fallback) {
  if (const char* set = std::getenv(variable); set && *set) return std::filesystem::path(set) / "corvanta";
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : ".") / fallback / "corvanta";
}

Person Sender(const std::string& from) {
  if (from.empty()) throw UsageError("--from is required: the sender as 'Name <address>'");
  auto person = ParsePerson(from);
  if (!person) throw UsageError("--from '" + from + "' is not 'Name <address>' or an address");
  return *person;
}

}  // namespace

std::filesystem::path DefaultRegistryFile() {
  return XdgDir("XDG_CONFIG_HOME", ".config") / "registry.reg";
}

std::filesystem::path DefaultStoreDir() {
  return XdgDir("XDG_DATA_HOME", ".local/share") / "store";
}

std::string OutlookVersionText(const std::string& outlook) {
  if (outlook == "2000") return "9.0";
  if (outlook == "2002") return "10.0";
  return outlook;
}

Session::Session(const SessionOptions& options, std::ostream& output, std::istream& in)
    : desktop(options.storeDir.empty() ? DefaultStoreDir() : std::filesystem::path(options.storeDir),
              OutlookVersionText(options.outlook)),
      user(desktop, options.user, output, in),
      out(output),
      registryFile_(options.registryFile.empty() ? DefaultRegistryFile()
                                                 : std::filesystem::path(options.registryFile)) {
  const Person sender = Sender(options.from);
  try {
    desktop.codePage.Set(options.codePage);
  } catch (const std::invalid_argument& error) {
    throw UsageError(std::string("--codepage: ") + error.what());
  }
  desktop.registry.LoadRegFile(registryFile_.string());
  if (!options.service.empty()) desktop.SetString("ServiceHost", options.service);
  if (!options.serviceKey.empty()) {
    // Never echoed: a wrong key is named only by its length.
    const auto key = corvanta::protocol::ParseAddinKey(options.serviceKey);
    if (!key)
      throw UsageError("--service-key: an add-in key is 64 hexadecimal digits; this one has " +
                       std::to_string(options.serviceKey.size()) + " characters");
    desktop.SetString("ServiceKey", corvanta::protocol::AddinKeyText(*key));
  }
  desktop.SetSender(sender.name, sender.address);
}

Session::~Session() {
  try {
    Finish();
  } catch (const std::exception& error) {
    std::cerr << "corvanta: " << error.what() << "\n";
  }
}

bool Session::Start() {
  addin.OnConnection(desktop.outlook, 1);
  addin.OnStartupComplete();
  return addin.bAcceptedTOUA;
}

void Session::Finish() {
  if (finished_) return;
  finished_ = true;
  addin.OnBeginShutdown();
  addin.OnDisconnection(0);
  if (registryFile_.has_parent_path()) std::filesystem::create_directories(registryFile_.parent_path());
  desktop.registry.SaveRegFile(registryFile_.string());
}

}  // namespace cli

#pragma once
// The add-in as the send benchmarks need it: started on a stand-in desktop
// (its mail store in a temporary folder), the terms accepted, no Send/Receive
// after a send, a known sender, and the service on 127.0.0.1.
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "addin/connect.h"
#include "host/sim/desktop.h"

namespace bench {

inline constexpr const char* kSender = "ann@example.org";

class StartedAddin {
 public:
  // name: part of the store's folder name; serviceHost: "127.0.0.1:PORT".
  StartedAddin(const std::string& name, const std::string& serviceHost)
      : store_(std::filesystem::temp_directory_path() / ("corvanta-bench-" + name + "-" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(store_);
    desktop_ = std::make_unique<host::sim::SimDesktop>(store_, "9.0");
    desktop_->SetString("ServiceHost", serviceHost);
    desktop_->SetDword("TOUA", 1);
    desktop_->SetDword("opt_send", 0);
    desktop_->SetSender("Ann Sender", kSender);
    addin_ = std::make_unique<corvanta::Connect>(desktop_->platform);
    addin_->OnConnection(desktop_->outlook, 1);
    addin_->OnStartupComplete();
  }

  ~StartedAddin() {
    addin_->OnBeginShutdown();
    addin_->OnDisconnection(1);
    addin_.reset();
    desktop_.reset();
    std::filesystem::remove_all(store_);
  }

  StartedAddin(const StartedAddin&) = delete;
  StartedAddin& operator=(const StartedAddin&) = delete;

  host::sim::SimDesktop& desktop() { return *desktop_; }

  // A composed message opened in an item window, ready for a "Tracking" button.
  std::shared_ptr<host::sim::SimInspector> Compose(const std::vector<host::sim::SimRecipient>& recipients,
                                                   const std::string& body) {
    return desktop_->outlook->OpenInspector(desktop_->outlook->NewMail("Quarterly figures", recipients, body));
  }

 private:
  std::filesystem::path store_;
  std::unique_ptr<host::sim::SimDesktop> desktop_;
  std::unique_ptr<corvanta::Connect> addin_;
};

}  // namespace bench

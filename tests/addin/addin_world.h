#pragma once
// The add-in on a stand-in desktop, with its service on loopback (so the
// terms text is never asked for anywhere else) and a profile user that
// Redemption knows. The add-in object records which button each click was
// routed to.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/loopback_server.h"
#include "support/sim_fixture.h"

namespace addintest {

using corvanta::Connect;
using host::MsgAnswer;

inline constexpr const char* kOptions2000 = "Software\\Microsoft\\Office\\9.0\\Outlook\\Options\\Mail";
inline constexpr const char* kOptions2002 = "Software\\Microsoft\\Office\\10.0\\Outlook\\Options\\Mail";

// Counts the clicks routed to each handler; forwards them unless told not to.
class RoutingSpy : public Connect {
 public:
  using Connect::Connect;

  struct Routed {
    TrackingButton button;
    ButtonPtr ctrl;
  };
  void RouteClick(TrackingButton button, ButtonPtr ctrl, bool& cancelDefault) override {
    routed.push_back({button, ctrl});
    if (throwOnRoute) throw host::Error("a handler failed");
    if (forward) Connect::RouteClick(button, std::move(ctrl), cancelDefault);
  }

  std::vector<Routed> routed;
  bool forward = false;
  bool throwOnRoute = false;
};

// Made first, so it outlives the add-in that talks to it.
struct LoopbackService {
  testsupport::LoopbackServer service;
};

struct AddinWorld : LoopbackService, testsupport::SimWorld {
  explicit AddinWorld(const std::string& outlookVersion = "9.0") : SimWorld(outlookVersion) {
    addin = std::make_unique<RoutingSpy>(platform);
    UseService(service.HostPort());
    SetSender("Ann Example", "ann@example.com");
  }

  RoutingSpy& spy() { return static_cast<RoutingSpy&>(*addin); }

  // "EditorPreference" under an Outlook mail-options key.
  void SetEditor(const std::string& key, std::uint32_t value) {
    registry.Put(host::HKEY_CURRENT_USER, key, "EditorPreference", host::sim::RegValue::Dword(value));
  }
  std::optional<host::sim::RegValue> Editor(const std::string& key) const {
    return registry.Get(host::HKEY_CURRENT_USER, key, "EditorPreference");
  }
  std::optional<host::sim::RegValue> Setting(const std::string& name) const {
    return registry.Get(host::HKEY_CURRENT_USER, testsupport::kCvxRegPath, name);
  }

  // Started as on every start after the first: no dialogs.
  void StartAccepted() {
    AcceptedBefore();
    Start();
  }

  std::shared_ptr<host::sim::SimInspector> OpenMail(host::sim::InspectorOptions options = {}) {
    return outlook->OpenInspector(
        outlook->NewMail("Hello", {host::sim::SimRecipient::Smtp("Bob", "bob@example.com")}, "Hi Bob"),
        std::move(options));
  }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& message : windowing.Messages()) texts.push_back(message.text);
    return texts;
  }
  std::vector<std::string> DialogsShown() const {
    std::vector<std::string> forms;
    for (const auto& dialog : windowing.Dialogs()) forms.push_back(dialog.form);
    return forms;
  }
};

// The popups on an Inspector's "Standard" bar, whatever their caption.
inline std::vector<std::shared_ptr<host::sim::SimPopup>> PopupsOf(const host::sim::SimInspector& inspector) {
  std::vector<std::shared_ptr<host::sim::SimPopup>> popups;
  for (const auto& control : inspector.bars()->Bar("Standard")->controls()->all()) {
    if (auto popup = std::dynamic_pointer_cast<host::sim::SimPopup>(control)) popups.push_back(popup);
  }
  return popups;
}

inline std::vector<std::shared_ptr<host::sim::SimButton>> ButtonsOf(host::sim::SimPopup& popup) {
  std::vector<std::shared_ptr<host::sim::SimButton>> buttons;
  for (const auto& control : popup.children()->all()) {
    buttons.push_back(std::dynamic_pointer_cast<host::sim::SimButton>(control));
  }
  return buttons;
}

// The same object seen through the add-in's interface.
inline const host::CommandBarButton* AsHost(const std::shared_ptr<host::sim::SimButton>& button) {
  return button.get();
}

}  // namespace addintest

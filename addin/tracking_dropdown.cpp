// The "Tracking" drop-down in every item window, and the route from its
// buttons' clicks to their handlers. Every step ignores its own failure: the
// worst outcome is a window without a visible drop-down.
#include <functional>
#include <memory>
#include <utility>

#include "addin/connect.h"

namespace corvanta {
namespace {

constexpr const char* kTracking = "Tracking";
constexpr int kBeforeControl = 4;
// Windows that hold this built-in button get no visible drop-down.
constexpr int kExcludingButtonId = 1377;

// Runs one step; a failing step is skipped and the next one runs.
void Step(const std::function<void()>& step) {
  try {
    step();
  } catch (...) {
  }
}

template <typename T>
T& Must(const std::shared_ptr<T>& object) {
  if (!object) throw host::Error(91, "Object variable not set");
  return *object;
}

struct ButtonPlan {
  std::shared_ptr<host::CommandBarButton> Connect::*member;
  host::Subscription Connect::*events;
  Connect::TrackingButton which;
  const char* caption;
  int faceId;
  bool beginGroup;
};

constexpr ButtonPlan kButtons[] = {
    {&Connect::autoButton, &Connect::autoButtonEvents, Connect::TrackingButton::Automatic, "Automatic", 1709, false},
    {&Connect::requButton, &Connect::requButtonEvents, Connect::TrackingButton::RequestReceipt, "Request receipt", 593,
     false},
    {&Connect::guarButton, &Connect::guarButtonEvents, Connect::TrackingButton::Guaranteed, "Guaranteed", 627, false},
    {&Connect::aboutButton, &Connect::aboutButtonEvents, Connect::TrackingButton::About, "About", 1089, true},
};

// Assigning a button to its member listens to its clicks instead of the
// older button's.
void AssignButton(Connect& addin, const ButtonPlan& plan, std::shared_ptr<host::CommandBarButton> button) {
  auto events = button->OnClick([&addin, which = plan.which](Connect::ButtonPtr ctrl, bool& cancelDefault) {
    try {
      addin.RouteClick(which, std::move(ctrl), cancelDefault);
    } catch (...) {
      // Nothing may travel back into Outlook from an event.
    }
  });
  addin.*plan.member = std::move(button);
  addin.*plan.events = std::move(events);
}

}  // namespace

void Connect::goInspectors_NewInspector(std::shared_ptr<host::Inspector> inspector) {
  bool unsupported = true;
  Step([&] {
    unsupported = olVersion != "2000" && olVersion != "2002";
    if (unsupported) {
      platform.windowing.MsgBox("Corvanta v" + CVXversion + " requires Outlook 2000/2002", host::MsgButtons::OK);
    }
  });
  if (unsupported) return;

  std::shared_ptr<host::CommandBar> bar;
  Step([&] { bar = Must(Must(inspector).GetCommandBars()).Item("Standard"); });

  std::shared_ptr<host::CommandBarPopup> popup;
  Step([&] {
    const int id = Must(Must(Must(bar).Controls()).Item(kTracking)).Id();
    popup = std::dynamic_pointer_cast<host::CommandBarPopup>(Must(bar).FindControl(host::msoControlPopup, id));
  });

  if (!popup) {
    Step([&] {
      popup = std::dynamic_pointer_cast<host::CommandBarPopup>(
          Must(Must(bar).Controls()).Add(host::msoControlPopup, std::nullopt, kBeforeControl, true));
    });
    Step([&] { Must(popup).SetCaption(kTracking); });
    Step([&] { Must(popup).SetTag(kTracking); });
    for (const ButtonPlan& plan : kButtons) {
      std::shared_ptr<host::CommandBarButton> button;
      Step([&] {
        button =
            std::dynamic_pointer_cast<host::CommandBarButton>(Must(Must(popup).Controls()).Add(host::msoControlButton));
      });
      // Without a new button there is nothing to set up: the member keeps
      // the older set's button.
      if (!button) continue;
      Step([&] { AssignButton(*this, plan, button); });
      Step([&] { button->SetCaption(plan.caption); });
      Step([&] { button->SetStyle(host::msoButtonIconAndCaption); });
      Step([&] { button->SetFaceId(plan.faceId); });
      if (plan.beginGroup) Step([&] { button->SetBeginGroup(true); });
    }
    Step([&] { Must(popup).SetBeginGroup(true); });
  }

  Step([&] { Must(popup).SetVisible(false); });
  // Shown only on mail items, once the terms are accepted, and where the
  // built-in button is absent; a failed question leaves it hidden.
  Step([&] {
    if (Must(Must(inspector).CurrentItem()).Class() != host::olMail || !bAcceptedTOUA) return;
    if (Must(Must(inspector).GetCommandBars()).FindControl(host::msoControlButton, kExcludingButtonId)) return;
    Must(popup).SetVisible(true);
  });
}

void Connect::RouteClick(TrackingButton button, ButtonPtr ctrl, bool& cancelDefault) {
  switch (button) {
    case TrackingButton::Automatic:
      autoButton_Click(std::move(ctrl), cancelDefault);
      break;
    case TrackingButton::RequestReceipt:
      requButton_Click(std::move(ctrl), cancelDefault);
      break;
    case TrackingButton::Guaranteed:
      guarButton_Click(std::move(ctrl), cancelDefault);
      break;
    case TrackingButton::About:
      aboutButton_Click(std::move(ctrl), cancelDefault);
      break;
  }
}

}  // namespace corvanta

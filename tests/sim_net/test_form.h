#pragma once
// A small dialog for the scripted-user tests: OK and Cancel hide it, Close
// unloads it, Stay does nothing; a label, a progress bar, a combo box and a
// text box to change.
#include <string>
#include <utility>
#include <vector>

#include "host/form.h"

namespace simnet {

inline host::Control MakeControl(std::string name, host::ControlKind kind, std::string caption = {},
                                 std::vector<std::string> items = {}) {
  host::Control control;
  control.name = std::move(name);
  control.kind = kind;
  control.caption = std::move(caption);
  control.items = std::move(items);
  return control;
}

class TestForm : public host::Form {
 public:
  explicit TestForm(std::string name = "dlgTest")
      : host::Form(std::move(name), "Test", 3000, 2000,
                   {MakeControl("OK", host::ControlKind::CommandButton, "OK"),
                    MakeControl("Cancel", host::ControlKind::CommandButton, "Cancel"),
                    MakeControl("Close", host::ControlKind::CommandButton, "Close"),
                    MakeControl("Stay", host::ControlKind::CommandButton, "Stay"),
                    MakeControl("lblProgress", host::ControlKind::Label),
                    MakeControl("ctlProgress", host::ControlKind::ProgressBar),
                    MakeControl("cboChoice", host::ControlKind::ComboBox, "", {"off", "on"}),
                    MakeControl("txtNote", host::ControlKind::TextBox, "note")}) {}
  void Click(const std::string& control) override {
    clicks.push_back(control);
    if (control == "OK" || control == "Cancel") Hide();
    if (control == "Close") Unload();
  }

  void CloseByFrame() override {
    closedByFrame = true;
    if (!refuseFrame) host::Form::CloseByFrame();
  }

  void SetLabel(const std::string& text) {
    (*this)["lblProgress"].caption = text;
    Update("lblProgress");
  }

  std::vector<std::string> clicks;
  bool closedByFrame = false;
  bool refuseFrame = false;
};

}  // namespace simnet

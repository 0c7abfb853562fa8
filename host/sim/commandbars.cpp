#include "host/sim/commandbars.h"

#include <algorithm>

#include "host/error.h"

namespace host::sim {

namespace {

// Office's "Invalid procedure call or argument" and a deleted object's error.
constexpr std::int32_t kInvalidArgument = 5;
constexpr std::int32_t kObjectGone = static_cast<std::int32_t>(0x800A01A8u);

}  // namespace

// --- SimControl

SimControl::SimControl(int type, int id, std::string caption, bool temporary, std::shared_ptr<Faults> faults)
    : type_(type), id_(id), caption_(std::move(caption)), temporary_(temporary), faults_(std::move(faults)) {}

void SimControl::MarkDeleted() {
  deleted_ = true;
}

void SimControl::Guard(const std::string& op) {
  if (deleted_) throw host::Error(kObjectGone, op + ": the control has been deleted");
  faults_->Check(op);
}

// --- SimButton

std::shared_ptr<host::CommandBarControl> SimButton::AsControl() {
  return std::static_pointer_cast<SimButton>(shared_from_this());
}

int SimButton::Style() {
  Guard("CommandBarButton.Style");
  return style_;
}

void SimButton::SetStyle(int style) {
  Guard("CommandBarButton.SetStyle");
  style_ = style;
}

int SimButton::FaceId() {
  Guard("CommandBarButton.FaceId");
  return faceId_;
}

void SimButton::SetFaceId(int faceId) {
  Guard("CommandBarButton.SetFaceId");
  faceId_ = faceId;
}

host::Subscription SimButton::OnClick(ClickHandler handler) {
  Guard("CommandBarButton.OnClick");
  return click_.Subscribe(std::move(handler));
}

bool SimButton::Click() {
  if (deleted_) throw host::Error(kObjectGone, "Click: the control has been deleted");
  bool cancelDefault = false;
  std::shared_ptr<host::CommandBarButton> self = std::static_pointer_cast<SimButton>(shared_from_this());
  click_.Raise(self, cancelDefault);
  return cancelDefault;
}

void SimButton::OnExecute() {
  bool cancelDefault = false;
  std::shared_ptr<host::CommandBarButton> self = std::static_pointer_cast<SimButton>(shared_from_this());
  click_.Raise(self, cancelDefault);
}

// --- SimPopup

SimPopup::SimPopup(int id, std::string caption, bool temporary, std::shared_ptr<Faults> faults)
    : SimControlOf(host::msoControlPopup, id, std::move(caption), temporary, faults),
      controls_(std::make_shared<SimControls>(std::move(faults))) {}

std::shared_ptr<host::CommandBarControl> SimPopup::AsControl() {
  return std::static_pointer_cast<SimPopup>(shared_from_this());
}

std::shared_ptr<host::CommandBarControls> SimPopup::Controls() {
  Guard("CommandBarPopup.Controls");
  return controls_;
}

void SimPopup::MarkDeleted() {
  SimControl::MarkDeleted();
  controls_->MarkAllDeleted();
  controls_->MarkGone();
}

// --- SimControls

SimControls::SimControls(std::shared_ptr<Faults> faults) : faults_(std::move(faults)) {}

void SimControls::Guard(const std::string& op) {
  if (gone_) throw host::Error(kObjectGone, op + ": the controls' owner has been deleted");
  faults_->Check(op);
}

int SimControls::Count() {
  Guard("CommandBarControls.Count");
  return static_cast<int>(controls_.size());
}

std::shared_ptr<host::CommandBarControl> SimControls::Item(int index) {
  Guard("CommandBarControls.Item");
  if (index < 1 || index > static_cast<int>(controls_.size())) {
    throw host::Error(kInvalidArgument, "Invalid procedure call or argument");
  }
  return controls_[static_cast<std::size_t>(index - 1)]->AsControl();
}

std::shared_ptr<host::CommandBarControl> SimControls::Item(const std::string& caption) {
  Guard("CommandBarControls.Item");
  auto found = Find(caption);
  if (!found) throw host::Error(kInvalidArgument, "Invalid procedure call or argument");
  return found->AsControl();
}

std::shared_ptr<host::CommandBarControl> SimControls::Add(int type, std::optional<int> id, std::optional<int> before,
                                                          std::optional<bool> temporary) {
  Guard("CommandBarControls.Add");
  int count = static_cast<int>(controls_.size());
  int position = before.value_or(count + 1);
  if (position < 1 || position > count + 1) throw host::Error(kInvalidArgument, "Invalid procedure call or argument");
  int controlId = id.value_or(kIdCustom);
  bool isTemporary = temporary.value_or(false);
  std::shared_ptr<SimControl> control;
  if (type == host::msoControlButton) {
    control = std::make_shared<SimButton>(type, controlId, "", isTemporary, faults_);
  } else if (type == host::msoControlPopup) {
    control = std::make_shared<SimPopup>(controlId, "", isTemporary, faults_);
  } else {
    throw host::Error(kInvalidArgument, "Invalid procedure call or argument");
  }
  controls_.insert(controls_.begin() + (position - 1), control);
  return control->AsControl();
}

std::shared_ptr<SimButton> SimControls::AddBuiltInButton(int id, const std::string& caption) {
  auto button = std::make_shared<SimButton>(host::msoControlButton, id, caption, false, faults_);
  controls_.push_back(button);
  return button;
}

std::vector<std::string> SimControls::Captions() const {
  std::vector<std::string> captions;
  for (const auto& control : controls_) captions.push_back(control->caption());
  return captions;
}

int SimControls::PositionOf(const std::string& caption) const {
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    if (controls_[i]->caption() == caption) return static_cast<int>(i) + 1;
  }
  return 0;
}

std::shared_ptr<SimControl> SimControls::Find(const std::string& caption) const {
  for (const auto& control : controls_) {
    if (control->caption() == caption) return control;
  }
  return nullptr;
}

std::shared_ptr<SimControl> SimControls::Find(std::optional<int> type, std::optional<int> id, bool recursive) const {
  for (const auto& control : controls_) {
    if ((!type || control->type() == *type) && (!id || control->id() == *id)) return control;
    if (recursive && control->children()) {
      if (auto found = control->children()->Find(type, id, true)) return found;
    }
  }
  return nullptr;
}

void SimControls::RemoveTemporary() {
  for (const auto& control : controls_) {
    if (control->temporary()) {
      control->MarkDeleted();
    } else if (control->children()) {
      control->children()->RemoveTemporary();
    }
  }
  std::erase_if(controls_, [](const auto& control) { return control->deleted(); });
}

void SimControls::MarkAllDeleted() {
  for (const auto& control : controls_) control->MarkDeleted();
}

// --- SimCommandBar

SimCommandBar::SimCommandBar(std::string name, std::shared_ptr<Faults> faults)
    : name_(std::move(name)), controls_(std::make_shared<SimControls>(faults)), faults_(std::move(faults)) {}

std::shared_ptr<host::CommandBarControls> SimCommandBar::Controls() {
  faults_->Check("CommandBar.Controls");
  return controls_;
}

std::shared_ptr<host::CommandBarControl> SimCommandBar::FindControl(std::optional<int> type, std::optional<int> id) {
  faults_->Check("CommandBar.FindControl");
  auto found = controls_->Find(type, id, false);
  return found ? found->AsControl() : nullptr;
}

// --- SimCommandBars

SimCommandBars::SimCommandBars(std::shared_ptr<Faults> faults) : faults_(std::move(faults)) {}

std::shared_ptr<host::CommandBar> SimCommandBars::Item(const std::string& name) {
  faults_->Check("CommandBars.Item");
  auto bar = Bar(name);
  if (!bar) throw host::Error(kInvalidArgument, "Invalid procedure call or argument");
  return bar;
}

std::shared_ptr<host::CommandBarControl> SimCommandBars::FindControl(std::optional<int> type, std::optional<int> id) {
  faults_->Check("CommandBars.FindControl");
  auto found = Find(type, id);
  return found ? found->AsControl() : nullptr;
}

std::shared_ptr<SimCommandBars> SimCommandBars::ForInspector(std::shared_ptr<Faults> faults, bool withFormatting,
                                                             bool withButton1377) {
  auto bars = std::make_shared<SimCommandBars>(std::move(faults));
  auto standard = bars->AddBar("Standard")->controls();
  standard->AddBuiltInButton(kIdSend, "&Send");
  standard->AddBuiltInButton(kIdSave, "&Save");
  standard->AddBuiltInButton(kIdPrint, "&Print");
  standard->AddBuiltInButton(kIdCut, "Cu&t");
  standard->AddBuiltInButton(kIdCopy, "&Copy");
  standard->AddBuiltInButton(kIdPaste, "&Paste");
  if (withFormatting || withButton1377) {
    auto formatting = bars->AddBar("Formatting")->controls();
    if (withFormatting) {
      formatting->AddBuiltInButton(kIdBold, "&Bold");
      formatting->AddBuiltInButton(kIdItalic, "&Italic");
      formatting->AddBuiltInButton(kIdUnderline, "&Underline");
    }
    if (withButton1377) formatting->AddBuiltInButton(kIdButton1377, "Built-in 1377");
  }
  return bars;
}

std::shared_ptr<SimCommandBars> SimCommandBars::ForExplorer(std::shared_ptr<Faults> faults) {
  auto bars = std::make_shared<SimCommandBars>(std::move(faults));
  auto standard = bars->AddBar("Standard")->controls();
  standard->AddBuiltInButton(kIdNewItem, "&New");
  standard->AddBuiltInButton(kIdSendReceive, "Send/Re&ceive");
  standard->AddBuiltInButton(kIdFind, "&Find");
  standard->AddBuiltInButton(kIdPrint, "&Print");
  return bars;
}

std::shared_ptr<SimCommandBar> SimCommandBars::AddBar(const std::string& name) {
  auto bar = std::make_shared<SimCommandBar>(name, faults_);
  bars_.push_back(bar);
  return bar;
}

std::shared_ptr<SimCommandBar> SimCommandBars::Bar(const std::string& name) const {
  for (const auto& bar : bars_) {
    if (bar->name() == name) return bar;
  }
  return nullptr;
}

std::shared_ptr<SimControl> SimCommandBars::Find(std::optional<int> type, std::optional<int> id) const {
  for (const auto& bar : bars_) {
    if (auto found = bar->controls()->Find(type, id, true)) return found;
  }
  return nullptr;
}

void SimCommandBars::RemoveTemporary() {
  for (const auto& bar : bars_) bar->controls()->RemoveTemporary();
}

}  // namespace host::sim

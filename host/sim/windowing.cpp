#include "host/sim/windowing.h"

#include <algorithm>
#include <utility>

#include "host/error.h"

namespace host::sim {

const char* AnswerName(MsgAnswer answer) {
  switch (answer) {
    case MsgAnswer::OK:
      return "OK";
    case MsgAnswer::Cancel:
      return "Cancel";
    case MsgAnswer::Yes:
      return "Yes";
    case MsgAnswer::No:
      return "No";
  }
  return "?";
}

std::vector<MsgAnswer> Offered(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::OK:
      return {MsgAnswer::OK};
    case MsgButtons::OKCancel:
      return {MsgAnswer::OK, MsgAnswer::Cancel};
    case MsgButtons::YesNo:
      return {MsgAnswer::Yes, MsgAnswer::No};
  }
  return {MsgAnswer::OK};
}

// What the stand-in keeps of a shown form: it records the model's changes
// and lets go of the form once it is hidden, unloaded or destroyed.
class SimWindowing::View : public FormView {
 public:
  View(SimWindowing& windowing, Form& form, std::size_t record) : windowing_(windowing), form_(form), record_(record) {}

  std::size_t record() const { return record_; }
  bool modal() const { return windowing_.dialogs_[record_].modal; }

  void Changed(const Control& control) override {
    windowing_.changes_.push_back({form_.Name(), control});
    windowing_.timeline_.push_back({form_.Name(), control});
    Event event{EventKind::ControlChanged, form_.Name(), control.name};
    event.text = control.caption;
    event.change = control;
    windowing_.Notify(event);
  }

  void CaptionChanged() override {
    Event event{EventKind::CaptionChanged, form_.Name()};
    event.text = form_.Caption();
    windowing_.Notify(event);
  }

  void Closed() override {
    SimWindowing& windowing = windowing_;
    windowing.dialogs_[record_].closed = true;
    Event event{EventKind::DialogClosed, form_.Name()};
    // Last use of this object: the map owns it.
    windowing.views_.erase(&form_);
    windowing.Notify(event);
  }

 private:
  SimWindowing& windowing_;
  Form& form_;
  std::size_t record_;
};

// --- The scripted user's hands ---

void DialogUser::Click(const std::string& control) {
  DialogRecord* record = windowing_.RecordOf(form_);
  if (!record) throw Error("The user cannot press " + control + ": form " + form_.Name() + " is not shown");
  form_[control];  // the button must exist
  record->pressed.push_back(control);
  windowing_.Notify(Event(EventKind::ButtonPressed, form_.Name(), control));
  form_.Click(control);
}

void DialogUser::Select(const std::string& comboBox, int listIndex) {
  if (!windowing_.RecordOf(form_)) throw Error("The user cannot choose in form " + form_.Name() + ": not shown");
  const Control& combo = form_[comboBox];
  if (listIndex < -1 || listIndex >= static_cast<int>(combo.items.size()))
    throw Error("Combo box " + comboBox + " of " + form_.Name() + " has no entry " + std::to_string(listIndex));
  Event event{EventKind::SelectionChanged, form_.Name(), comboBox};
  event.index = listIndex;
  if (listIndex >= 0) event.text = combo.items[static_cast<std::size_t>(listIndex)];
  windowing_.Notify(event);
  form_.SelectionChanged(comboBox, listIndex);
}

void DialogUser::Type(const std::string& textBox, const std::string& text) {
  if (!windowing_.RecordOf(form_)) throw Error("The user cannot type in form " + form_.Name() + ": not shown");
  form_[textBox].caption = text;
  Event event{EventKind::TextTyped, form_.Name(), textBox};
  event.text = text;
  windowing_.Notify(event);
}

void DialogUser::CloseByFrame() {
  DialogRecord* record = windowing_.RecordOf(form_);
  if (!record) throw Error("The user cannot close form " + form_.Name() + ": not shown");
  record->closedByFrame = true;
  form_.CloseByFrame();
}

DialogAction Press(const std::string& control) {
  return [control](DialogUser& user) { user.Click(control); };
}

DialogAction Choose(const std::string& comboBox, int listIndex) {
  return [comboBox, listIndex](DialogUser& user) { user.Select(comboBox, listIndex); };
}

DialogAction CloseByFrame() {
  return [](DialogUser& user) { user.CloseByFrame(); };
}

DialogAction Steps(std::vector<DialogAction> actions) {
  return [actions = std::move(actions)](DialogUser& user) {
    for (const auto& action : actions) action(user);
  };
}

// --- SimWindowing ---

SimWindowing::SimWindowing() = default;

SimWindowing::~SimWindowing() {
  // Forms that outlive the windowing must not keep a pointer to our views.
  while (!views_.empty()) {
    Form* form = views_.begin()->first;
    form->Hide();  // calls View::Closed, which erases it
    views_.erase(form);
  }
}

void SimWindowing::QueueAnswer(MsgAnswer answer) {
  answers_.push_back(answer);
}

void SimWindowing::SetAnswerer(Answerer answerer) {
  answerer_ = std::move(answerer);
}

void SimWindowing::QueueDialog(const std::string& form, DialogAction action) {
  queuedDialogs_[form].push_back(std::move(action));
}

void SimWindowing::OnDialog(const std::string& form, DialogAction action) {
  standingDialogs_[form] = std::move(action);
}

void SimWindowing::OnAnyDialog(DialogAction action) {
  anyDialog_ = std::move(action);
}

void SimWindowing::SetObserver(Observer observer) {
  observer_ = std::move(observer);
}

void SimWindowing::Notify(const Event& event) {
  if (observer_) observer_(event);
}

MsgAnswer SimWindowing::MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon) {
  MessageRecord record{text, buttons, icon, MsgAnswer::OK};
  const auto offered = Offered(buttons);
  std::optional<MsgAnswer> answer;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  } else if (answerer_) {
    answer = answerer_(record);
  }
  record.answer = answer.value_or(offered.front());
  messages_.push_back(record);
  if (std::find(offered.begin(), offered.end(), record.answer) == offered.end())
    throw Error(std::string("The script answers ") + AnswerName(record.answer) +
                " to a message box without that button: " + text);
  Event event{EventKind::MessageShown};
  event.text = text;
  event.message = record;
  Notify(event);
  return record.answer;
}

SimWindowing::View& SimWindowing::Open(Form& form, bool modal) {
  dialogs_.push_back({});
  auto view = std::make_unique<View>(*this, form, dialogs_.size() - 1);
  View& result = *view;
  views_[&form] = std::move(view);
  form.Shown(&result);  // loads an unloaded form, so the snapshot is what the user sees
  DialogRecord& record = dialogs_.back();
  record.form = form.Name();
  record.caption = form.Caption();
  record.controls = form.Controls();
  record.modal = modal;
  for (const Control& control : form.Controls())
    if (!control.caption.empty()) timeline_.push_back({form.Name(), control});
  Event event{EventKind::DialogShown, form.Name()};
  event.text = form.Caption();
  event.modal = modal;
  Notify(event);
  return result;
}

DialogRecord* SimWindowing::RecordOf(Form& form) {
  auto found = views_.find(&form);
  return found == views_.end() ? nullptr : &dialogs_[found->second->record()];
}

DialogAction SimWindowing::NextAction(const std::string& form) {
  if (auto queued = queuedDialogs_.find(form); queued != queuedDialogs_.end() && !queued->second.empty()) {
    DialogAction action = std::move(queued->second.front());
    queued->second.pop_front();
    return action;
  }
  if (auto standing = standingDialogs_.find(form); standing != standingDialogs_.end()) return standing->second;
  return anyDialog_;
}

void SimWindowing::ShowModal(Form& form) {
  if (views_.count(&form)) throw Error("Form " + form.Name() + " is already shown");
  const std::size_t index = Open(form, true).record();
  DialogAction action = NextAction(form.Name());
  if (action) {
    DialogUser user(*this, form);
    try {
      action(user);
    } catch (...) {
      // A broken script must not leave the form on the screen for the next test step.
      if (views_.count(&form)) {
        dialogs_[index].forcedClose = true;
        form.Hide();
      }
      throw;
    }
  }
  if (views_.count(&form)) {
    // The script left it open (or had nothing to do): close it by the frame, so no test waits forever.
    dialogs_[index].forcedClose = static_cast<bool>(action);
    dialogs_[index].closedByFrame = true;
    form.CloseByFrame();
    if (views_.count(&form)) {
      form.Hide();
      throw Error("Modal form " + form.Name() + " stays open after its frame's close box");
    }
  }
}

void SimWindowing::ShowModeless(Form& form) {
  if (views_.count(&form)) return;  // already on the screen
  Open(form, false);
}

Form* SimWindowing::ShownModeless(const std::string& form) {
  for (auto& [shown, view] : views_)
    if (shown->Name() == form && !view->modal()) return shown;
  return nullptr;
}

void SimWindowing::ClickModeless(const std::string& form, const std::string& control) {
  Form* shown = ShownModeless(form);
  if (!shown) throw Error("The user cannot press " + control + ": no modeless form " + form + " is shown");
  DialogUser user(*this, *shown);
  user.Click(control);
}

void SimWindowing::ScheduleUser(std::function<void()> action) {
  pump_->Post(std::move(action));
}

void SimWindowing::ScheduleClick(const std::string& form, const std::string& control) {
  ScheduleUser([this, form, control] { ClickModeless(form, control); });
}

std::vector<std::string> SimWindowing::CaptionsOf(const std::string& form, const std::string& control) const {
  std::vector<std::string> captions;
  for (const auto& entry : timeline_) {
    if (entry.form != form || entry.control.name != control) continue;
    if (captions.empty() || captions.back() != entry.control.caption) captions.push_back(entry.control.caption);
  }
  return captions;
}

void SimWindowing::ClearRecords() {
  messages_.clear();
  changes_.clear();
  timeline_.clear();
  // Records of forms still on the screen stay, so their views keep a valid index.
  if (views_.empty()) dialogs_.clear();
}

void SimWindowing::DoEvents() {
  ++doEventsCalls_;
  pump_->RunPending();
}

void SimWindowing::WaitForEvent() {
  ++waitCalls_;
  pump_->Wait();
}

}  // namespace host::sim

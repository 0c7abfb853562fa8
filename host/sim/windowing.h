#pragma once
// The stand-in windowing system: a scripted user who answers message boxes
// and dialogs and records what was shown, and the add-in thread's event pump.
// Everything but Post (and Pump()->Post) belongs to the add-in's thread.
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/form.h"
#include "host/sim/windowing_pump.h"
#include "host/windowing.h"

namespace host::sim {

// "OK", "Cancel", "Yes", "No".
const char* AnswerName(MsgAnswer answer);
// The answers a box with these buttons offers, the first button first.
std::vector<MsgAnswer> Offered(MsgButtons buttons);

struct MessageRecord {
  std::string text;
  MsgButtons buttons = MsgButtons::OK;
  MsgIcon icon = MsgIcon::None;
  MsgAnswer answer = MsgAnswer::OK;  // filled in once answered
};

// One showing of a form, modal or modeless.
struct DialogRecord {
  std::string form;               // the form's name ("toua", "dlgAbout", "dlgProgress")
  std::string caption;            // as shown
  std::vector<Control> controls;  // snapshot as shown
  bool modal = false;
  std::vector<std::string> pressed;  // buttons the user clicked, in order
  bool closedByFrame = false;        // the user closed it with the frame's close box
  bool forcedClose = false;          // the script left a modal form open; closed by the frame for it
  bool closed = false;               // the form hid or unloaded itself, or was closed by the frame
};

// A control of a shown form changed (a progress label, the bar's Max or Value, ...).
struct ControlChange {
  std::string form;
  Control control;  // its state after the change
};

enum class EventKind {
  MessageShown,      // message (answer filled in)
  DialogShown,       // form, text = caption, modal
  ButtonPressed,     // form, control
  SelectionChanged,  // form, control, index
  TextTyped,         // form, control, text
  ControlChanged,    // form, control, change
  CaptionChanged,    // form, text = new caption
  DialogClosed,      // form (by itself or by the frame)
};

struct Event {
  explicit Event(EventKind eventKind, std::string formName = {}, std::string controlName = {})
      : kind(eventKind), form(std::move(formName)), control(std::move(controlName)) {}
  EventKind kind;
  std::string form;
  std::string control;
  std::string text;
  bool modal = false;
  int index = -1;
  MessageRecord message;
  Control change;
};

class SimWindowing;

// The scripted user's hands on one shown form; every action is recorded.
class DialogUser {
 public:
  DialogUser(SimWindowing& windowing, Form& form) : windowing_(windowing), form_(form) {}
  Form& form() { return form_; }
  void Click(const std::string& control);
  void Select(const std::string& comboBox, int listIndex);
  void Type(const std::string& textBox, const std::string& text);
  void CloseByFrame();

 private:
  SimWindowing& windowing_;
  Form& form_;
};

using DialogAction = std::function<void(DialogUser&)>;
// Ready-made actions.
DialogAction Press(const std::string& control);
DialogAction Choose(const std::string& comboBox, int listIndex);
DialogAction CloseByFrame();
DialogAction Steps(std::vector<DialogAction> actions);  // one after another

class SimWindowing : public Windowing {
 public:
  SimWindowing();
  ~SimWindowing() override;

  // --- The script ---
  // Answers taken in order by the next message boxes; an answer the buttons do
  // not offer throws host::Error.
  void QueueAnswer(MsgAnswer answer);
  // Asked when no queued answer is left; nullopt takes the first button.
  using Answerer = std::function<std::optional<MsgAnswer>(const MessageRecord&)>;
  void SetAnswerer(Answerer answerer);

  // What the user does in a modal form of this name: first the queued actions,
  // one per showing, then the standing one, then the fallback for any form.
  // With none of them the user closes the form by its frame.
  void QueueDialog(const std::string& form, DialogAction action);
  void OnDialog(const std::string& form, DialogAction action);
  void OnAnyDialog(DialogAction action);

  // The user presses a button of a visible modeless form now (throws
  // host::Error if no such form is shown).
  void ClickModeless(const std::string& form, const std::string& control);
  // A user action that runs inside the next DoEvents (or WaitLoop round).
  void ScheduleUser(std::function<void()> action);
  void ScheduleClick(const std::string& form, const std::string& control);

  // Told of every event as it happens (the command-line program's log).
  using Observer = std::function<void(const Event&)>;
  void SetObserver(Observer observer);

  // --- What happened ---
  const std::vector<MessageRecord>& Messages() const { return messages_; }
  const std::vector<DialogRecord>& Dialogs() const { return dialogs_; }
  const std::vector<ControlChange>& Changes() const { return changes_; }
  // The captions a control of a form took, in order (e.g. the progress labels).
  std::vector<std::string> CaptionsOf(const std::string& form, const std::string& control) const;
  // The visible modeless form of this name, or nullptr.
  Form* ShownModeless(const std::string& form);
  void ClearRecords();

  // --- The pump ---
  std::shared_ptr<EventPump> Pump() const { return pump_; }
  void Post(std::function<void()> event) { pump_->Post(std::move(event)); }
  std::size_t DoEventsCalls() const { return doEventsCalls_; }
  std::size_t WaitCalls() const { return waitCalls_; }

  // --- host::Windowing ---
  MsgAnswer MsgBox(const std::string& text, MsgButtons buttons = MsgButtons::OK, MsgIcon icon = MsgIcon::None) override;
  void ShowModal(Form& form) override;
  void ShowModeless(Form& form) override;
  void DoEvents() override;
  void WaitForEvent() override;

 private:
  friend class DialogUser;
  class View;

  View& Open(Form& form, bool modal);
  DialogAction NextAction(const std::string& form);
  void Notify(const Event& event);
  DialogRecord* RecordOf(Form& form);

  std::shared_ptr<EventPump> pump_ = std::make_shared<EventPump>();
  std::deque<MsgAnswer> answers_;
  Answerer answerer_;
  std::map<std::string, std::deque<DialogAction>> queuedDialogs_;
  std::map<std::string, DialogAction> standingDialogs_;
  DialogAction anyDialog_;
  Observer observer_;

  std::vector<MessageRecord> messages_;
  std::vector<DialogRecord> dialogs_;
  std::vector<ControlChange> changes_;
  std::vector<ControlChange> timeline_;  // controls as shown, then each change
  // One view per form while it is shown; its record's index.
  std::map<Form*, std::unique_ptr<View>> views_;
  std::size_t doEventsCalls_ = 0;
  std::size_t waitCalls_ = 0;
};

}  // namespace host::sim

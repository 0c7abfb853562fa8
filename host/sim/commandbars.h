#pragma once
// Stand-in Office command bars: bars holding controls, pop-ups with their own
// controls, buttons with a Click event. Calls on a control that went with its
// window fail, as they do on a deleted Office control.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/commandbars.h"
#include "host/sim/outlook_events.h"
#include "host/sim/outlook_faults.h"

namespace host::sim {

class SimControls;

// Built-in control ids the stand-in windows carry.
constexpr int kIdSend = 2617;
constexpr int kIdSave = 3;
constexpr int kIdPrint = 4;
constexpr int kIdCut = 21;
constexpr int kIdCopy = 19;
constexpr int kIdPaste = 22;
constexpr int kIdBold = 113;
constexpr int kIdItalic = 114;
constexpr int kIdUnderline = 115;
constexpr int kIdButton1377 = 1377;
constexpr int kIdNewItem = 1837;
constexpr int kIdSendReceive = 5488;
constexpr int kIdFind = 1849;
constexpr int kIdCustom = 1;  // what Office gives every custom control

// What every stand-in control shares, whatever its type. The sim-side
// readers (lower-case) never fail and never count.
class SimControl : public std::enable_shared_from_this<SimControl> {
 public:
  SimControl(int type, int id, std::string caption, bool temporary, std::shared_ptr<Faults> faults);
  virtual ~SimControl() = default;

  // The same object seen through the add-in's interface.
  virtual std::shared_ptr<host::CommandBarControl> AsControl() = 0;
  // The pop-up's controls; null for other types.
  virtual std::shared_ptr<SimControls> children() { return nullptr; }
  // Goes with its window (temporary) or with Delete: later calls fail.
  virtual void MarkDeleted();

  int type() const { return type_; }
  int id() const { return id_; }
  const std::string& caption() const { return caption_; }
  const std::string& tag() const { return tag_; }
  bool beginGroup() const { return beginGroup_; }
  bool visible() const { return visible_; }
  bool temporary() const { return temporary_; }
  bool deleted() const { return deleted_; }
  int executeCount() const { return executeCount_; }

 protected:
  // Fails when the control is gone or a failure of op is planned.
  void Guard(const std::string& op);
  virtual void OnExecute() {}

  int type_;
  int id_;
  std::string caption_;
  std::string tag_;
  bool beginGroup_ = false;
  bool visible_ = true;
  bool temporary_;
  bool deleted_ = false;
  int executeCount_ = 0;
  std::shared_ptr<Faults> faults_;
};

// The CommandBarControl members, shared by buttons and pop-ups.
template <class Interface>
class SimControlOf : public Interface, public SimControl {
 public:
  using SimControl::SimControl;
  int Type() override {
    Guard("CommandBarControl.Type");
    return type_;
  }
  int Id() override {
    Guard("CommandBarControl.Id");
    return id_;
  }
  std::string Caption() override {
    Guard("CommandBarControl.Caption");
    return caption_;
  }
  void SetCaption(const std::string& caption) override {
    Guard("CommandBarControl.SetCaption");
    caption_ = caption;
  }
  std::string Tag() override {
    Guard("CommandBarControl.Tag");
    return tag_;
  }
  void SetTag(const std::string& tag) override {
    Guard("CommandBarControl.SetTag");
    tag_ = tag;
  }
  bool BeginGroup() override {
    Guard("CommandBarControl.BeginGroup");
    return beginGroup_;
  }
  void SetBeginGroup(bool beginGroup) override {
    Guard("CommandBarControl.SetBeginGroup");
    beginGroup_ = beginGroup;
  }
  bool Visible() override {
    Guard("CommandBarControl.Visible");
    return visible_;
  }
  void SetVisible(bool visible) override {
    Guard("CommandBarControl.SetVisible");
    visible_ = visible;
  }
  void Execute() override {
    Guard("CommandBarControl.Execute");
    ++executeCount_;
    OnExecute();
  }
};

class SimButton : public SimControlOf<host::CommandBarButton> {
 public:
  using SimControlOf::SimControlOf;
  std::shared_ptr<host::CommandBarControl> AsControl() override;

  int Style() override;
  void SetStyle(int style) override;
  int FaceId() override;
  void SetFaceId(int faceId) override;
  host::Subscription OnClick(ClickHandler handler) override;

  // The user clicks: Click(ctrl, cancelDefault) reaches every current
  // subscriber. Returns cancelDefault as they left it. Fails on a deleted button.
  bool Click();
  int style() const { return style_; }
  int faceId() const { return faceId_; }
  std::size_t clickSubscribers() const { return click_.Count(); }

 protected:
  // Execute runs the button's action, which for a custom button is its Click.
  void OnExecute() override;

 private:
  int style_ = 0;
  int faceId_ = 0;
  EventSource<std::shared_ptr<host::CommandBarButton>, bool&> click_;
};

class SimPopup : public SimControlOf<host::CommandBarPopup> {
 public:
  SimPopup(int id, std::string caption, bool temporary, std::shared_ptr<Faults> faults);
  std::shared_ptr<host::CommandBarControl> AsControl() override;
  std::shared_ptr<host::CommandBarControls> Controls() override;
  std::shared_ptr<SimControls> children() override { return controls_; }
  void MarkDeleted() override;

 private:
  std::shared_ptr<SimControls> controls_;
};

class SimControls : public host::CommandBarControls {
 public:
  explicit SimControls(std::shared_ptr<Faults> faults);

  int Count() override;
  std::shared_ptr<host::CommandBarControl> Item(int index) override;
  std::shared_ptr<host::CommandBarControl> Item(const std::string& caption) override;
  // Types 1 (button) and 10 (pop-up); id omitted or 1 makes a custom control
  // (Id 1), any other id a copy of that built-in control.
  std::shared_ptr<host::CommandBarControl> Add(int type, std::optional<int> id = std::nullopt,
                                               std::optional<int> before = std::nullopt,
                                               std::optional<bool> temporary = std::nullopt) override;

  // The sim side: set-up and inspection without failure injection.
  std::shared_ptr<SimButton> AddBuiltInButton(int id, const std::string& caption);
  const std::vector<std::shared_ptr<SimControl>>& all() const { return controls_; }
  std::vector<std::string> Captions() const;
  // 1-based position of the first control with that caption; 0 when none.
  int PositionOf(const std::string& caption) const;
  // The first control with that caption, or null.
  std::shared_ptr<SimControl> Find(const std::string& caption) const;
  // The first match of type and id here (and below, when recursive), or null.
  std::shared_ptr<SimControl> Find(std::optional<int> type, std::optional<int> id, bool recursive) const;
  // Drops temporary controls here and in every pop-up, as a closing window does.
  void RemoveTemporary();
  // Marks every control gone (the collection's owner went).
  void MarkAllDeleted();
  // Makes every later call fail, as on a deleted pop-up's controls.
  void MarkGone() { gone_ = true; }

 private:
  void Guard(const std::string& op);

  std::vector<std::shared_ptr<SimControl>> controls_;
  std::shared_ptr<Faults> faults_;
  bool gone_ = false;
};

class SimCommandBar : public host::CommandBar {
 public:
  SimCommandBar(std::string name, std::shared_ptr<Faults> faults);

  std::shared_ptr<host::CommandBarControls> Controls() override;
  // Top-level controls of this bar only.
  std::shared_ptr<host::CommandBarControl> FindControl(std::optional<int> type, std::optional<int> id) override;

  const std::string& name() const { return name_; }
  std::shared_ptr<SimControls> controls() const { return controls_; }

 private:
  std::string name_;
  std::shared_ptr<SimControls> controls_;
  std::shared_ptr<Faults> faults_;
};

class SimCommandBars : public host::CommandBars {
 public:
  explicit SimCommandBars(std::shared_ptr<Faults> faults);

  std::shared_ptr<host::CommandBar> Item(const std::string& name) override;
  // Searches every bar and the pop-ups on them; first match or null.
  std::shared_ptr<host::CommandBarControl> FindControl(std::optional<int> type, std::optional<int> id) override;

  // An item window's bars: "Standard" with Send, Save, Print, Cut, Copy,
  // Paste; "Formatting" with Bold, Italic, Underline when asked for; the
  // built-in button 1377 on the second bar (made for it when there is none).
  static std::shared_ptr<SimCommandBars> ForInspector(std::shared_ptr<Faults> faults, bool withFormatting,
                                                      bool withButton1377);
  // The main window's bars: "Standard" with New, Send/Receive (5488), Find, Print.
  static std::shared_ptr<SimCommandBars> ForExplorer(std::shared_ptr<Faults> faults);

  std::shared_ptr<SimCommandBar> AddBar(const std::string& name);
  // Null when there is no bar of that name.
  std::shared_ptr<SimCommandBar> Bar(const std::string& name) const;
  const std::vector<std::shared_ptr<SimCommandBar>>& bars() const { return bars_; }
  std::shared_ptr<SimControl> Find(std::optional<int> type, std::optional<int> id) const;
  void RemoveTemporary();

 private:
  std::vector<std::shared_ptr<SimCommandBar>> bars_;
  std::shared_ptr<Faults> faults_;
};

}  // namespace host::sim

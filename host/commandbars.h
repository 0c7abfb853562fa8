#pragma once
// Office command bars, as far as the add-in uses them.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "host/subscription.h"

namespace host {

constexpr int msoControlButton = 1;
constexpr int msoControlPopup = 10;
constexpr int msoButtonIconAndCaption = 3;

class CommandBarControls;

class CommandBarControl {
 public:
  virtual ~CommandBarControl() = default;
  virtual int Type() = 0;
  virtual int Id() = 0;
  virtual std::string Caption() = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual std::string Tag() = 0;
  virtual void SetTag(const std::string& tag) = 0;
  virtual bool BeginGroup() = 0;
  virtual void SetBeginGroup(bool beginGroup) = 0;
  virtual bool Visible() = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual void Execute() = 0;
};

class CommandBarButton : public CommandBarControl {
 public:
  virtual int Style() = 0;
  virtual void SetStyle(int style) = 0;
  virtual int FaceId() = 0;
  virtual void SetFaceId(int faceId) = 0;
  // Click(Ctrl, CancelDefault).
  using ClickHandler = std::function<void(std::shared_ptr<CommandBarButton> ctrl, bool& cancelDefault)>;
  virtual Subscription OnClick(ClickHandler handler) = 0;
};

class CommandBarPopup : public CommandBarControl {
 public:
  virtual std::shared_ptr<CommandBarControls> Controls() = 0;
};

class CommandBarControls {
 public:
  virtual ~CommandBarControls() = default;
  virtual int Count() = 0;
  // 1-based; throws when out of range.
  virtual std::shared_ptr<CommandBarControl> Item(int index) = 0;
  // By caption; throws when no control has it.
  virtual std::shared_ptr<CommandBarControl> Item(const std::string& caption) = 0;
  // Add(Type, Id, Parameter, Before, Temporary); omitted arguments stay empty.
  // The result is a CommandBarButton for type 1 and a CommandBarPopup for type 10.
  virtual std::shared_ptr<CommandBarControl> Add(int type, std::optional<int> id = std::nullopt,
                                                 std::optional<int> before = std::nullopt,
                                                 std::optional<bool> temporary = std::nullopt) = 0;
};

class CommandBar {
 public:
  virtual ~CommandBar() = default;
  virtual std::shared_ptr<CommandBarControls> Controls() = 0;
  // The first match or null.
  virtual std::shared_ptr<CommandBarControl> FindControl(std::optional<int> type, std::optional<int> id) = 0;
};

class CommandBars {
 public:
  virtual ~CommandBars() = default;
  // By name; throws when there is no such bar.
  virtual std::shared_ptr<CommandBar> Item(const std::string& name) = 0;
  // The first match over all bars, or null.
  virtual std::shared_ptr<CommandBarControl> FindControl(std::optional<int> type, std::optional<int> id) = 0;
};

}  // namespace host

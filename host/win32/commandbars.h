#pragma once
// Office command bars, reached by late binding.
#include <memory>

#include "host/commandbars.h"
#include "host/win32/late_binding.h"

namespace host::win32 {

// What every kind of control offers; Base is the host's interface for the kind.
template <class Base>
class ControlOf : public Base, public LateBound {
 public:
  using LateBound::LateBound;
  int Type() override { return GetInt("Type"); }
  int Id() override { return GetInt("Id"); }
  std::string Caption() override { return GetString("Caption"); }
  void SetCaption(const std::string& caption) override { PutMember("Caption", Variant::Of(caption)); }
  std::string Tag() override { return GetString("Tag"); }
  void SetTag(const std::string& tag) override { PutMember("Tag", Variant::Of(tag)); }
  bool BeginGroup() override { return GetBool("BeginGroup"); }
  void SetBeginGroup(bool beginGroup) override { PutMember("BeginGroup", Variant::Of(beginGroup)); }
  bool Visible() override { return GetBool("Visible"); }
  void SetVisible(bool visible) override { PutMember("Visible", Variant::Of(visible)); }
  void Execute() override { CallMember("Execute"); }
};

class CommandBarControl final : public ControlOf<host::CommandBarControl> {
 public:
  using ControlOf::ControlOf;
};

class CommandBarButton final : public ControlOf<host::CommandBarButton> {
 public:
  using ControlOf::ControlOf;
  int Style() override { return GetInt("Style"); }
  void SetStyle(int style) override { PutMember("Style", Variant::Of(style)); }
  int FaceId() override { return GetInt("FaceId"); }
  void SetFaceId(int faceId) override { PutMember("FaceId", Variant::Of(faceId)); }
  Subscription OnClick(ClickHandler handler) override;
};

class CommandBarPopup final : public ControlOf<host::CommandBarPopup> {
 public:
  using ControlOf::ControlOf;
  std::shared_ptr<host::CommandBarControls> Controls() override;
};

class CommandBarControls final : public host::CommandBarControls, public LateBound {
 public:
  using LateBound::LateBound;
  int Count() override { return GetInt("Count"); }
  std::shared_ptr<host::CommandBarControl> Item(int index) override;
  std::shared_ptr<host::CommandBarControl> Item(const std::string& caption) override;
  std::shared_ptr<host::CommandBarControl> Add(int type, std::optional<int> id, std::optional<int> before,
                                               std::optional<bool> temporary) override;
};

class CommandBar final : public host::CommandBar, public LateBound {
 public:
  using LateBound::LateBound;
  std::shared_ptr<host::CommandBarControls> Controls() override;
  std::shared_ptr<host::CommandBarControl> FindControl(std::optional<int> type, std::optional<int> id) override;
};

class CommandBars final : public host::CommandBars, public LateBound {
 public:
  using LateBound::LateBound;
  std::shared_ptr<host::CommandBar> Item(const std::string& name) override;
  std::shared_ptr<host::CommandBarControl> FindControl(std::optional<int> type, std::optional<int> id) override;
};

// The control as its kind (a button, a pop-up, or another control), or null for Nothing.
std::shared_ptr<host::CommandBarControl> WrapControl(const Variant& result);

}  // namespace host::win32

#include "host/win32/commandbars.h"

#include "host/win32/events.h"
#include "host/win32/outlook.h"

namespace host::win32 {
namespace {

// Optional arguments: the given ones, with Missing for gaps; trailing omitted ones are not passed at all.
Args Optional(std::initializer_list<std::optional<Variant>> arguments) {
  Args args;
  std::size_t given = 0;
  for (const auto& argument : arguments) {
    args.push_back(argument ? *argument : Variant::Missing());
    if (argument) given = args.size();
  }
  args.resize(given);
  return args;
}

std::optional<Variant> OptionalInt(std::optional<int> value) {
  return value ? std::optional<Variant>(Variant::Of(*value)) : std::nullopt;
}

std::shared_ptr<host::CommandBarControl> WrapAs(int type, ComPtr<IDispatch> object) {
  if (!object) return nullptr;
  switch (type) {
    case msoControlButton:
      return std::make_shared<CommandBarButton>(std::move(object));
    case msoControlPopup:
      return std::make_shared<CommandBarPopup>(std::move(object));
    default:
      return std::make_shared<CommandBarControl>(std::move(object));
  }
}

}  // namespace

std::shared_ptr<host::CommandBarControl> WrapControl(const Variant& result) {
  ComPtr<IDispatch> object = ToObject(result.get());
  if (!object) return nullptr;
  int type = ToInt(Get(*object, "Type").get());
  return WrapAs(type, std::move(object));
}

Subscription CommandBarButton::OnClick(ClickHandler handler) {
  return ListenClick(Object(), [handler = std::move(handler)](ComPtr<IDispatch> ctrl, bool& cancelDefault) {
    std::shared_ptr<host::CommandBarButton> button;
    if (ctrl) button = std::make_shared<CommandBarButton>(std::move(ctrl));
    handler(std::move(button), cancelDefault);
  });
}

std::shared_ptr<host::CommandBarControls> CommandBarPopup::Controls() {
  return Wrap<CommandBarControls>(GetMember("Controls"));
}

std::shared_ptr<host::CommandBarControl> CommandBarControls::Item(int index) {
  return WrapControl(GetItem(Object(), {Variant::Of(index)}));
}

std::shared_ptr<host::CommandBarControl> CommandBarControls::Item(const std::string& caption) {
  return WrapControl(GetItem(Object(), {Variant::Of(caption)}));
}

std::shared_ptr<host::CommandBarControl> CommandBarControls::Add(int type, std::optional<int> id,
                                                                 std::optional<int> before,
                                                                 std::optional<bool> temporary) {
  std::optional<Variant> temporaryArg;
  if (temporary) temporaryArg = Variant::Of(*temporary);
  // Add(Type, Id, Parameter, Before, Temporary)
  Args args = Optional({Variant::Of(type), OptionalInt(id), std::nullopt, OptionalInt(before), temporaryArg});
  return WrapAs(type, ToObject(CallMember("Add", args).get()));
}

std::shared_ptr<host::CommandBarControls> CommandBar::Controls() {
  return Wrap<CommandBarControls>(GetMember("Controls"));
}

std::shared_ptr<host::CommandBarControl> CommandBar::FindControl(std::optional<int> type, std::optional<int> id) {
  return WrapControl(CallMember("FindControl", Optional({OptionalInt(type), OptionalInt(id)})));
}

std::shared_ptr<host::CommandBar> CommandBars::Item(const std::string& name) {
  return Wrap<CommandBar>(GetItem(Object(), {Variant::Of(name)}));
}

std::shared_ptr<host::CommandBarControl> CommandBars::FindControl(std::optional<int> type, std::optional<int> id) {
  return WrapControl(CallMember("FindControl", Optional({OptionalInt(type), OptionalInt(id)})));
}

}  // namespace host::win32

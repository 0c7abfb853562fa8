// Office's command bars: the bars collection, a bar, a controls collection,
// and the controls themselves (buttons with their Click connection point,
// pop-ups). Office assigns these DISPIDs per version; the add-in must look
// them up by name, so the stand-in uses numbers of its own on purpose.
#include "host/error.h"
#include "host/sim/commandbars.h"
#include "objects.h"

namespace standin {
namespace {

enum : DISPID {
  kItem = DISPID_VALUE,
  kFindControl = 0x60030011,
  kControls = 0x60030012,
  kCount = 0x60030013,
  kAdd = 0x60030014,
  kName = 0x60030015,
  kType = 0x60030021,
  kId = 0x60030022,
  kCaption = 0x60030023,
  kTag = 0x60030024,
  kBeginGroup = 0x60030025,
  kVisible = 0x60030026,
  kExecute = 0x60030027,
  kDelete = 0x60030028,
  kStyle = 0x60030031,
  kFaceId = 0x60030032,
  kCommandBar = 0x60030033,
};

Value Nothing() {
  return Value::Adopt(nullptr);
}

Member Method(const wchar_t* name, DISPID id, std::function<Value(const Args&)> method) {
  return Member{name, id, std::move(method), nullptr, nullptr};
}
Member Get(const wchar_t* name, DISPID id, std::function<Value(const Args&)> get) {
  return Member{name, id, nullptr, std::move(get), nullptr};
}
// Item is a default member: Basic reaches it either way.
Member ItemMember(std::function<Value(const Args&)> item) {
  return Member{L"Item", kItem, item, item, nullptr};
}

std::int32_t IntOf(const VARIANT& value) {
  Value number;
  if (FAILED(VariantChangeType(&number.get(), const_cast<VARIANT*>(&value), 0, VT_I4)))
    throw ArgumentError{0, DISP_E_TYPEMISMATCH};
  return number.get().lVal;
}

bool BoolOf(const VARIANT& value) {
  Value flag;
  if (FAILED(VariantChangeType(&flag.get(), const_cast<VARIANT*>(&value), 0, VT_BOOL)))
    throw ArgumentError{0, DISP_E_TYPEMISMATCH};
  return flag.get().boolVal != VARIANT_FALSE;
}

std::string StringOf(const VARIANT& value) {
  Value text;
  if (FAILED(VariantChangeType(&text.get(), const_cast<VARIANT*>(&value), 0, VT_BSTR)))
    throw ArgumentError{0, DISP_E_TYPEMISMATCH};
  return Narrow(text.get().bstrVal, static_cast<int>(SysStringLen(text.get().bstrVal)));
}

Value WrapControls(std::shared_ptr<host::CommandBarControls> controls) {
  if (!controls) return Nothing();
  auto* object = NewHostObject("CommandBarControls", OfficeIid(0x000C0306), controls);
  object->Add(Get(L"Count", kCount, [controls](const Args&) { return Value::Of(controls->Count()); }));
  object->Add(ItemMember([controls](const Args& args) {
    const VARIANT& which = args.At(0);
    if (which.vt == VT_BSTR) return WrapControl(controls->Item(args.String(0)));
    return WrapControl(controls->Item(args.Int(0)));
  }));
  // Add(Type, Id, Parameter, Before, Temporary)
  object->Add(Method(L"Add", kAdd, [controls](const Args& args) {
    int type = args.Missing(0) ? host::msoControlButton : args.Int(0);
    return WrapControl(controls->Add(type, args.OptionalInt(1), args.OptionalInt(3), args.OptionalBool(4)));
  }));
  return Value::Adopt(object);
}

Value WrapBar(std::shared_ptr<host::CommandBar> bar) {
  if (!bar) return Nothing();
  auto* object = NewHostObject("CommandBar", OfficeIid(0x000C0304), bar);
  object->Add(Get(L"Controls", kControls, [bar](const Args&) { return WrapControls(bar->Controls()); }));
  // FindControl(Type, Id, Tag, Visible, Recursive)
  object->Add(Method(L"FindControl", kFindControl, [bar](const Args& args) {
    return WrapControl(bar->FindControl(args.OptionalInt(0), args.OptionalInt(1)));
  }));
  if (auto sim = std::dynamic_pointer_cast<host::sim::SimCommandBar>(bar))
    object->Add(Get(L"Name", kName, [sim](const Args&) { return Value::Of(sim->name()); }));
  return Value::Adopt(object);
}

template <class Control>
void AddControlMembers(HostObject& object, std::shared_ptr<Control> control) {
  auto property = [&object, control](const wchar_t* name, DISPID id, auto read, auto write, auto convert) {
    object.Add(Member{name, id, nullptr, [control, read](const Args&) { return read(*control); },
                      [control, write, convert](const Args& args) { write(*control, convert(args.PutValue())); }});
  };
  object.Add(Get(L"Type", kType, [control](const Args&) { return Value::Of(control->Type()); }));
  object.Add(Get(L"Id", kId, [control](const Args&) { return Value::Of(control->Id()); }));
  property(
      L"Caption", kCaption, [](Control& c) { return Value::Of(c.Caption()); },
      [](Control& c, const std::string& v) { c.SetCaption(v); }, StringOf);
  property(
      L"Tag", kTag, [](Control& c) { return Value::Of(c.Tag()); },
      [](Control& c, const std::string& v) { c.SetTag(v); }, StringOf);
  property(
      L"BeginGroup", kBeginGroup, [](Control& c) { return Value::Bool(c.BeginGroup()); },
      [](Control& c, bool v) { c.SetBeginGroup(v); }, BoolOf);
  property(
      L"Visible", kVisible, [](Control& c) { return Value::Bool(c.Visible()); },
      [](Control& c, bool v) { c.SetVisible(v); }, BoolOf);
  object.Add(Method(L"Execute", kExecute, [control](const Args&) {
    control->Execute();
    return Value();
  }));
  object.Add(Method(L"Delete", kDelete, [control](const Args&) {
    auto sim = std::dynamic_pointer_cast<host::sim::SimControl>(control);
    if (!sim || sim->deleted()) throw host::Error(E_FAIL, "The control has been deleted.");
    sim->MarkDeleted();
    return Value();
  }));
}

}  // namespace

Value WrapCommandBars(std::shared_ptr<host::CommandBars> bars) {
  if (!bars) return Nothing();
  auto* object = NewHostObject("CommandBars", OfficeIid(0x000C0302), bars);
  object->Add(ItemMember([bars](const Args& args) { return WrapBar(bars->Item(args.String(0))); }));
  // FindControl(Type, Id, Tag, Visible)
  object->Add(Method(L"FindControl", kFindControl, [bars](const Args& args) {
    return WrapControl(bars->FindControl(args.OptionalInt(0), args.OptionalInt(1)));
  }));
  return Value::Adopt(object);
}

Value WrapControl(std::shared_ptr<host::CommandBarControl> control) {
  if (!control) return Nothing();
  if (auto button = std::dynamic_pointer_cast<host::CommandBarButton>(control)) {
    auto* object = NewHostObject("CommandBarButton", OfficeIid(0x000C030E), button);
    AddControlMembers(*object, button);
    object->Add(Member{L"Style", kStyle, nullptr, [button](const Args&) { return Value::Of(button->Style()); },
                       [button](const Args& args) { button->SetStyle(IntOf(args.PutValue())); }});
    object->Add(Member{L"FaceId", kFaceId, nullptr, [button](const Args&) { return Value::Of(button->FaceId()); },
                       [button](const Args& args) { button->SetFaceId(IntOf(args.PutValue())); }});
    // _CommandBarButtonEvents: Click(Ctrl, CancelDefault) DISPID 1.
    object->AddEvents({OfficeIid(0x000C0351), [button](HostObject& self, IDispatch* sink) {
                         HostObject* source = &self;  // the subscription lives inside it
                         return button->OnClick([source, sink](std::shared_ptr<host::CommandBarButton>, bool& cancel) {
                           Value ctrl = source->AsValue();
                           VARIANT_BOOL cancelDefault = cancel ? VARIANT_TRUE : VARIANT_FALSE;
                           VARIANT byRef;
                           VariantInit(&byRef);
                           byRef.vt = VT_BOOL | VT_BYREF;
                           byRef.pboolVal = &cancelDefault;
                           sink->AddRef();
                           HRESULT hr = RaiseEvent(*sink, 1, {byRef, ctrl.get()});
                           sink->Release();
                           NoteEventResult(hr);
                           cancel = cancelDefault != VARIANT_FALSE;
                         });
                       }});
    return Value::Adopt(object);
  }
  if (auto popup = std::dynamic_pointer_cast<host::CommandBarPopup>(control)) {
    auto* object = NewHostObject("CommandBarPopup", OfficeIid(0x000C030A), popup);
    AddControlMembers(*object, popup);
    object->Add(Get(L"Controls", kControls, [popup](const Args&) { return WrapControls(popup->Controls()); }));
    return Value::Adopt(object);
  }
  auto* object = NewHostObject("CommandBarControl", OfficeIid(0x000C0308), control);
  AddControlMembers(*object, control);
  return Value::Adopt(object);
}

}  // namespace standin

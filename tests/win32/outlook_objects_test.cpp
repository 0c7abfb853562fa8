// Outlook and Office objects through late binding: each host operation calls
// the member it names, as a method or a property as the object declares it,
// with its arguments in order and omitted ones left out.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_dispatch.h"
#include "host/win32/commandbars.h"
#include "host/win32/outlook.h"

namespace corvanta_test {
namespace {

using namespace host::win32;

std::string Args(const FakeDispatch::Call& call) {
  std::string text;
  for (const auto& arg : call.args) text += (text.empty() ? "" : ",") + Describe(arg);
  return text;
}

struct OperationCase {
  const char* name;
  // Declares the member on the fake the way the real object declares it.
  std::function<void(FakeDispatch& object, IDispatch* other)> declare;
  // Runs the host operation on a wrapper of the fake; returns what it read, if anything.
  std::function<std::string(IDispatch& object, IDispatch* other)> run;
  const char* member;
  WORD flags;
  const char* args;
  const char* result;
};

FakeDispatch::Handler Returns(Variant value) {
  return [value](const FakeDispatch::Call&) { return value; };
}

FakeDispatch::Handler ReturnsObject(IDispatch* other) {
  return [other](const FakeDispatch::Call&) { return Variant::Of(other); };
}

template <class Wrapper>
Wrapper Of(IDispatch& object) {
  return Wrapper(ComPtr<IDispatch>(&object));
}

const OperationCase kOperations[] = {
    {"ApplicationInspectors", [](FakeDispatch& f, IDispatch* o) { f.Getter("Inspectors", ReturnsObject(o)); },
     [](IDispatch& d, IDispatch*) { return Of<Application>(d).GetInspectors() ? "object" : "null"; }, "Inspectors",
     DISPATCH_PROPERTYGET, "", "object"},
    {"ActiveInspectorIsAMethod", [](FakeDispatch& f, IDispatch* o) { f.Method("ActiveInspector", ReturnsObject(o)); },
     [](IDispatch& d, IDispatch*) { return Of<Application>(d).ActiveInspector() ? "object" : "null"; },
     "ActiveInspector", DISPATCH_METHOD, "", "object"},
    {"ActiveExplorerNothingIsNull",
     [](FakeDispatch& f, IDispatch*) {
       f.Method("ActiveExplorer", Returns(Variant::Of(static_cast<IDispatch*>(nullptr))));
     },
     [](IDispatch& d, IDispatch*) { return Of<Application>(d).ActiveExplorer() ? "object" : "null"; }, "ActiveExplorer",
     DISPATCH_METHOD, "", "null"},
    {"CreateItem", [](FakeDispatch& f, IDispatch* o) { f.Method("CreateItem", ReturnsObject(o)); },
     [](IDispatch& d, IDispatch*) { return Of<Application>(d).CreateItem(host::olMailItem) ? "object" : "null"; },
     "CreateItem", DISPATCH_METHOD, "I4:0", "object"},
    {"GetNamespace", [](FakeDispatch& f, IDispatch* o) { f.Method("GetNamespace", ReturnsObject(o)); },
     [](IDispatch& d, IDispatch*) { return Of<Application>(d).GetNamespace("MAPI") ? "object" : "null"; },
     "GetNamespace", DISPATCH_METHOD, "BSTR:MAPI", "object"},
    {"CurrentUser", [](FakeDispatch& f, IDispatch* o) { f.Getter("CurrentUser", ReturnsObject(o)); },
     [](IDispatch& d, IDispatch*) { return Of<NameSpace>(d).CurrentUser() ? "object" : "null"; }, "CurrentUser",
     DISPATCH_PROPERTYGET, "", "object"},
    {"GetDefaultFolder", [](FakeDispatch& f, IDispatch* o) { f.Method("GetDefaultFolder", ReturnsObject(o)); },
     [](IDispatch& d, IDispatch*) {
       return Of<NameSpace>(d).GetDefaultFolder(host::olFolderSentMail) ? "object" : "null";
     },
     "GetDefaultFolder", DISPATCH_METHOD, "I4:5", "object"},
    {"InspectorCurrentItem", [](FakeDispatch& f, IDispatch* o) { f.Getter("CurrentItem", ReturnsObject(o)); },
     [](IDispatch& d, IDispatch*) { return Of<Inspector>(d).CurrentItem() ? "object" : "null"; }, "CurrentItem",
     DISPATCH_PROPERTYGET, "", "object"},
    {"InspectorCommandBars", [](FakeDispatch& f, IDispatch* o) { f.Getter("CommandBars", ReturnsObject(o)); },
     [](IDispatch& d, IDispatch*) { return Of<Inspector>(d).GetCommandBars() ? "object" : "null"; }, "CommandBars",
     DISPATCH_PROPERTYGET, "", "object"},
    {"ExplorerClose", [](FakeDispatch& f, IDispatch*) { f.Method("Close"); },
     [](IDispatch& d, IDispatch*) {
       Of<Explorer>(d).Close();
       return "";
     },
     "Close", DISPATCH_METHOD, "", ""},
    {"MailClass", [](FakeDispatch& f, IDispatch*) { f.Getter("Class", Returns(Variant::Of(43))); },
     [](IDispatch& d, IDispatch*) { return std::to_string(Of<MailItem>(d).Class()); }, "Class", DISPATCH_PROPERTYGET,
     "", "43"},
    {"MailCopyIsAMethod", [](FakeDispatch& f, IDispatch* o) { f.Method("Copy", ReturnsObject(o)); },
     [](IDispatch& d, IDispatch*) { return Of<MailItem>(d).Copy() ? "object" : "null"; }, "Copy", DISPATCH_METHOD, "",
     "object"},
    {"MailSave", [](FakeDispatch& f, IDispatch*) { f.Method("Save"); },
     [](IDispatch& d, IDispatch*) {
       Of<MailItem>(d).Save();
       return "";
     },
     "Save", DISPATCH_METHOD, "", ""},
    {"MailCloseDiscarding", [](FakeDispatch& f, IDispatch*) { f.Method("Close"); },
     [](IDispatch& d, IDispatch*) {
       Of<MailItem>(d).Close(host::olDiscard);
       return "";
     },
     "Close", DISPATCH_METHOD, "I4:1", ""},
    {"MailDelete", [](FakeDispatch& f, IDispatch*) { f.Method("Delete"); },
     [](IDispatch& d, IDispatch*) {
       Of<MailItem>(d).Delete();
       return "";
     },
     "Delete", DISPATCH_METHOD, "", ""},
    {"MailSetHtmlBody", [](FakeDispatch& f, IDispatch*) { f.Property("HTMLBody"); },
     [](IDispatch& d, IDispatch*) {
       Of<MailItem>(d).SetHTMLBody("<b>x</b>");
       return "";
     },
     "HTMLBody", DISPATCH_PROPERTYPUT, "BSTR:<b>x</b>", ""},
    {"MailBody", [](FakeDispatch& f, IDispatch*) { f.Property("Body", Variant::Of("text")); },
     [](IDispatch& d, IDispatch*) { return Of<MailItem>(d).Body(); }, "Body", DISPATCH_PROPERTYGET, "", "text"},
    {"MailOutlookVersion",
     [](FakeDispatch& f, IDispatch*) { f.Getter("OutlookVersion", Returns(Variant::Of("9.0.0.2711"))); },
     [](IDispatch& d, IDispatch*) { return Of<MailItem>(d).OutlookVersion(); }, "OutlookVersion", DISPATCH_PROPERTYGET,
     "", "9.0.0.2711"},
    {"MailMoveTakesTheFolderObject",
     [](FakeDispatch& f, IDispatch*) {
       f.Method("Move", [](const FakeDispatch::Call& call) { return call.args.at(0); });
     },
     [](IDispatch& d, IDispatch* other) {
       Folder folder{ComPtr<IDispatch>(other)};
       auto moved = Of<MailItem>(d).Move(folder);
       return &ObjectOf(*moved) == other ? "the folder came through" : "another object";
     },
     "Move", DISPATCH_METHOD, "DISPATCH", "the folder came through"},
    {"BarsItemByName", [](FakeDispatch& f, IDispatch* o) { f.Item(ReturnsObject(o)); },
     [](IDispatch& d, IDispatch*) { return Of<CommandBars>(d).Item("Standard") ? "object" : "null"; }, "Item",
     DISPATCH_METHOD | DISPATCH_PROPERTYGET, "BSTR:Standard", "object"},
    {"BarsFindControlByTypeOnly",
     [](FakeDispatch& f, IDispatch*) {
       f.Method("FindControl", Returns(Variant::Of(static_cast<IDispatch*>(nullptr))));
     },
     [](IDispatch& d, IDispatch*) {
       return Of<CommandBars>(d).FindControl(host::msoControlPopup, std::nullopt) ? "object" : "null";
     },
     "FindControl", DISPATCH_METHOD, "I4:10", "null"},
    {"BarsFindControlByIdOnly",
     [](FakeDispatch& f, IDispatch*) {
       f.Method("FindControl", Returns(Variant::Of(static_cast<IDispatch*>(nullptr))));
     },
     [](IDispatch& d, IDispatch*) { return Of<CommandBars>(d).FindControl(std::nullopt, 5488) ? "object" : "null"; },
     "FindControl", DISPATCH_METHOD, "MISSING,I4:5488", "null"},
    {"ControlsAddWithBeforeAndTemporary", [](FakeDispatch& f, IDispatch* o) { f.Method("Add", ReturnsObject(o)); },
     [](IDispatch& d, IDispatch*) {
       auto control = Of<CommandBarControls>(d).Add(host::msoControlPopup, std::nullopt, 2, true);
       return std::dynamic_pointer_cast<host::CommandBarPopup>(control) ? "popup" : "other";
     },
     "Add", DISPATCH_METHOD, "I4:10,MISSING,MISSING,I4:2,BOOL:-1", "popup"},
    {"ControlsAddButtonAtTheEnd", [](FakeDispatch& f, IDispatch* o) { f.Method("Add", ReturnsObject(o)); },
     [](IDispatch& d, IDispatch*) {
       auto controls = Of<CommandBarControls>(d);
       auto control = static_cast<host::CommandBarControls&>(controls).Add(host::msoControlButton);
       return std::dynamic_pointer_cast<host::CommandBarButton>(control) ? "button" : "other";
     },
     "Add", DISPATCH_METHOD, "I4:1", "button"},
    {"ControlsItemByCaption", [](FakeDispatch& f, IDispatch* o) { f.Item(ReturnsObject(o)); },
     [](IDispatch& d, IDispatch*) {
       auto control = Of<CommandBarControls>(d).Item("Tracking");
       return std::dynamic_pointer_cast<host::CommandBarPopup>(control) ? "popup" : "other";
     },
     "Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, "BSTR:Tracking", "popup"},
    {"ControlsCount", [](FakeDispatch& f, IDispatch*) { f.Getter("Count", Returns(Variant::Of(4))); },
     [](IDispatch& d, IDispatch*) { return std::to_string(Of<CommandBarControls>(d).Count()); }, "Count",
     DISPATCH_PROPERTYGET, "", "4"},
    {"ButtonSetStyle", [](FakeDispatch& f, IDispatch*) { f.Property("Style"); },
     [](IDispatch& d, IDispatch*) {
       Of<CommandBarButton>(d).SetStyle(host::msoButtonIconAndCaption);
       return "";
     },
     "Style", DISPATCH_PROPERTYPUT, "I4:3", ""},
    {"ButtonSetVisible", [](FakeDispatch& f, IDispatch*) { f.Property("Visible"); },
     [](IDispatch& d, IDispatch*) {
       Of<CommandBarButton>(d).SetVisible(false);
       return "";
     },
     "Visible", DISPATCH_PROPERTYPUT, "BOOL:0", ""},
    {"ControlExecute", [](FakeDispatch& f, IDispatch*) { f.Method("Execute"); },
     [](IDispatch& d, IDispatch*) {
       Of<CommandBarControl>(d).Execute();
       return "";
     },
     "Execute", DISPATCH_METHOD, "", ""},
};

class OutlookObjects : public ::testing::TestWithParam<OperationCase> {};

TEST_P(OutlookObjects, OperationCallsItsMember) {
  const auto& param = GetParam();
  auto object = FakeDispatch::Make();
  auto other = FakeDispatch::Make();
  other->Getter("Type", Returns(Variant::Of(host::msoControlPopup)));
  param.declare(*object, other.get());
  ULONG otherReferences = other->References();

  EXPECT_EQ(param.run(*object, other.get()), param.result);

  {
    const auto calls = object->CallsOf(param.member);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].flags, param.flags);
    EXPECT_EQ(Args(calls[0]), param.args);
  }
  object->calls.clear();  // the recorded arguments hold references too
  EXPECT_EQ(other->References(), otherReferences) << "a wrapper outlived its use";
}

INSTANTIATE_TEST_SUITE_P(Members, OutlookObjects, ::testing::ValuesIn(kOperations),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(OutlookObjects, FoundControlsComeAsTheirKind) {
  auto bars = FakeDispatch::Make();
  auto button = FakeDispatch::Make();
  button->Getter("Type", [](const FakeDispatch::Call&) { return Variant::Of(host::msoControlButton); });
  bars->Method("FindControl",
               [&](const FakeDispatch::Call&) { return Variant::Of(static_cast<IDispatch*>(button.get())); });
  auto found = Of<CommandBars>(*bars).FindControl(std::nullopt, 5488);
  EXPECT_TRUE(std::dynamic_pointer_cast<host::CommandBarButton>(found));
}

TEST(OutlookObjects, AnObjectFromElsewhereCannotBeMovedTo) {
  struct OtherFolder : host::Folder {
    std::string Name() override { return "elsewhere"; }
    std::shared_ptr<host::Items> GetItems() override { return nullptr; }
  } folder;
  auto item = FakeDispatch::Make();
  item->Method("Move");
  EXPECT_THROW(Of<MailItem>(*item).Move(folder), host::Error);
  EXPECT_TRUE(item->calls.empty());
}

}  // namespace
}  // namespace corvanta_test

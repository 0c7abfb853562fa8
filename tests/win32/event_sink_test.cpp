// The event sinks: advised on the right interface, unadvised when the
// subscription goes, arguments checked and read in reverse, and S_OK back to
// the source whatever the handler did.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "fake_dispatch.h"
#include "host/win32/commandbars.h"
#include "host/win32/dispids.h"
#include "host/win32/events.h"
#include "host/win32/module.h"
#include "host/win32/outlook.h"

namespace corvanta_test {
namespace {

using namespace host::win32;

Variant ByRefBool(VARIANT_BOOL* value) {
  Variant v;
  v.get().vt = VT_BOOL | VT_BYREF;
  v.get().pboolVal = value;
  return v;
}

TEST(EventSink, NewInspectorReachesTheHandlerAsAnInspectorUntilTheSubscriptionGoes) {
  auto inspectors = FakeDispatch::Make();
  inspectors->RaisesEvents(IID_InspectorsEvents);
  auto item = FakeDispatch::Make();
  item->Property("Subject", Variant::Of("hello"));
  auto window = FakeDispatch::Make();
  window->Getter("CurrentItem",
                 [&](const FakeDispatch::Call&) { return Variant::Of(static_cast<IDispatch*>(item.get())); });

  Inspectors wrapper{ComPtr<IDispatch>(inspectors.get())};
  std::vector<std::string> subjects;
  host::Subscription subscription = wrapper.OnNewInspector(
      [&](std::shared_ptr<host::Inspector> inspector) { subjects.push_back(inspector->CurrentItem()->Subject()); });
  EXPECT_EQ(inspectors->Advised(), 1);

  EXPECT_EQ(inspectors->Fire(kNewInspector, {Variant::Of(static_cast<IDispatch*>(window.get()))}), S_OK);
  EXPECT_EQ(subjects, std::vector<std::string>{"hello"});

  subscription.reset();
  EXPECT_EQ(inspectors->unadvises, 1);
  EXPECT_EQ(inspectors->Advised(), 0);
  ULONG windowReferences = window->References();
  inspectors->Fire(kNewInspector, {Variant::Of(static_cast<IDispatch*>(window.get()))});
  EXPECT_EQ(subjects.size(), 1u);
  EXPECT_EQ(window->References(), windowReferences);  // nobody kept the Inspector
}

TEST(EventSink, ItemAddReachesTheHandlerAsAnItemOfTheFoldersItemsUntilTheSubscriptionGoes) {
  auto items = FakeDispatch::Make();
  items->RaisesEvents(IID_ItemsEvents);
  auto folder = FakeDispatch::Make();
  folder->Getter("Items", [&](const FakeDispatch::Call&) { return Variant::Of(static_cast<IDispatch*>(items.get())); });
  auto item = FakeDispatch::Make();
  item->Property("Subject", Variant::Of("sent"));

  Folder wrapper{ComPtr<IDispatch>(folder.get())};
  std::shared_ptr<host::Items> sentItems = wrapper.GetItems();
  ASSERT_NE(sentItems, nullptr);
  std::vector<std::string> subjects;
  host::Subscription subscription =
      sentItems->OnItemAdd([&](std::shared_ptr<host::MailItem> added) { subjects.push_back(added->Subject()); });
  EXPECT_EQ(items->Advised(), 1);

  EXPECT_EQ(items->Fire(kItemAdd, {Variant::Of(static_cast<IDispatch*>(item.get()))}), S_OK);
  EXPECT_EQ(items->Fire(kItemAdd, {Variant::Of(5)}), S_OK);
  EXPECT_EQ(subjects, std::vector<std::string>{"sent"});

  subscription.reset();
  EXPECT_EQ(items->Advised(), 0);
  items->Fire(kItemAdd, {Variant::Of(static_cast<IDispatch*>(item.get()))});
  EXPECT_EQ(subjects.size(), 1u);
}

TEST(EventSink, ArgumentsOfTheWrongCountOrTypeNeverReachTheHandler) {
  auto inspectors = FakeDispatch::Make();
  inspectors->RaisesEvents(IID_InspectorsEvents);
  Inspectors wrapper{ComPtr<IDispatch>(inspectors.get())};
  int calls = 0;
  auto subscription = wrapper.OnNewInspector([&](std::shared_ptr<host::Inspector>) { ++calls; });
  auto window = FakeDispatch::Make();
  EXPECT_EQ(inspectors->Fire(kNewInspector, {}), S_OK);
  EXPECT_EQ(inspectors->Fire(kNewInspector, {Variant::Of(5)}), S_OK);
  EXPECT_EQ(inspectors->Fire(kNewInspector, {Variant::Of(static_cast<IDispatch*>(window.get())), Variant::Of(1)}),
            S_OK);
  EXPECT_EQ(inspectors->Fire(kExplorerClose, {}), S_OK);
  EXPECT_EQ(calls, 0);
}

TEST(EventSink, AFailingHandlerStillAnswersSOk) {
  auto explorer = FakeDispatch::Make();
  explorer->RaisesEvents(IID_ExplorerEvents);
  Explorer wrapper{ComPtr<IDispatch>(explorer.get())};
  auto subscription = wrapper.OnClose([] { throw std::runtime_error("handler failed"); });
  EXPECT_EQ(explorer->Fire(kExplorerClose, {}), S_OK);
}

TEST(EventSink, AHandlerMayDropItsOwnSubscription) {
  auto explorer = FakeDispatch::Make();
  explorer->RaisesEvents(IID_ExplorerEvents);
  Explorer wrapper{ComPtr<IDispatch>(explorer.get())};
  int closes = 0;
  host::Subscription subscription;
  subscription = wrapper.OnClose([&] {
    ++closes;
    subscription.reset();  // what assigning Nothing to the explorer does
  });
  EXPECT_EQ(explorer->Fire(kExplorerClose, {}), S_OK);
  EXPECT_EQ(explorer->Fire(kExplorerClose, {}), S_OK);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(explorer->unadvises, 1);
}

TEST(EventSink, AdviseOnAnObjectWithoutTheseEventsFails) {
  auto plain = FakeDispatch::Make();
  EXPECT_THROW(ListenExplorerClose(*plain, [] {}), host::Error);
  auto other = FakeDispatch::Make();
  other->RaisesEvents(IID_InspectorsEvents);
  EXPECT_THROW(ListenExplorerClose(*other, [] {}), host::Error);
}

TEST(EventSink, ClickPassesTheButtonAndWritesCancelDefaultBack) {
  auto button = FakeDispatch::Make();
  button->RaisesEvents(IID_CommandBarButtonEvents);
  button->Property("Caption", Variant::Of("Automatic"));
  CommandBarButton wrapper{ComPtr<IDispatch>(button.get())};
  std::string caption;
  bool cancelSeen = true;
  auto subscription = wrapper.OnClick([&](std::shared_ptr<host::CommandBarButton> ctrl, bool& cancelDefault) {
    caption = ctrl->Caption();
    cancelSeen = cancelDefault;
    cancelDefault = true;
  });
  VARIANT_BOOL cancel = VARIANT_FALSE;
  EXPECT_EQ(button->Fire(kClick, {Variant::Of(static_cast<IDispatch*>(button.get())), ByRefBool(&cancel)}), S_OK);
  EXPECT_EQ(caption, "Automatic");
  EXPECT_FALSE(cancelSeen);
  EXPECT_EQ(cancel, VARIANT_TRUE);

  // CancelDefault by value is not the event's signature: ignored.
  caption.clear();
  EXPECT_EQ(button->Fire(kClick, {Variant::Of(static_cast<IDispatch*>(button.get())), Variant::Of(false)}), S_OK);
  EXPECT_EQ(caption, "");
}

TEST(EventSink, SinksAreLiveModuleObjectsUntilReleased) {
  LONG before = LiveObjects();
  auto explorer = FakeDispatch::Make();
  explorer->RaisesEvents(IID_ExplorerEvents);
  {
    auto subscription = ListenExplorerClose(*explorer, [] {});
    EXPECT_EQ(LiveObjects(), before + 1);
  }
  EXPECT_EQ(LiveObjects(), before);
}

}  // namespace
}  // namespace corvanta_test

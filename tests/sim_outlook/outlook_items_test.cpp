// The stand-in Outlook's items, folders and namespace behave as the add-in
// relies on: copies keep recipients and are independent, Close(1) discards,
// Delete and Move leave a stale item behind, only "MAPI" exists, sent
// messages reach Sent Items after sending.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "host/error.h"
#include "host/sim/outlook.h"
#include "host/sim/redemption.h"
#include "host/sim/windowing_pump.h"

namespace host::sim {
namespace {

class OutlookItems : public ::testing::Test {
 protected:
  SimOutlook outlook;
  std::vector<SimRecipient> three = {
      SimRecipient::Smtp("Ann", "ann@example.org", RecipientKind::To),
      SimRecipient::Exchange("Bob", "/o=Org/cn=bob", "bob@example.org", RecipientKind::Cc),
      SimRecipient::Smtp("", "cy@example.org", RecipientKind::Bcc),
  };
};

TEST_F(OutlookItems, CopyKeepsContentAndRecipientsInTheSameFolderAndIsIndependent) {
  auto item = outlook.NewMail("Hello", three, "plain", "<p>html</p>");
  auto copy = std::dynamic_pointer_cast<SimMailItem>(item->Copy());
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy.get(), item.get());
  EXPECT_EQ(copy->Subject(), "Hello");
  EXPECT_EQ(copy->Body(), "plain");
  EXPECT_EQ(copy->HTMLBody(), "<p>html</p>");
  ASSERT_EQ(copy->recipients().size(), 3u);
  EXPECT_EQ(copy->recipients()[1].name, "Bob");
  EXPECT_EQ(copy->recipients()[1].smtpAddress, "bob@example.org");
  EXPECT_EQ(copy->recipients()[2].kind, RecipientKind::Bcc);
  EXPECT_EQ(copy->folder(), item->folder());
  EXPECT_EQ(outlook.folder("Drafts")->count(), 2u);

  copy->SetHTMLBody("<p>changed</p>");
  copy->SetSubject("Other");
  copy->recipientEntries().erase(copy->recipientEntries().begin());
  EXPECT_EQ(item->HTMLBody(), "<p>html</p>");
  EXPECT_EQ(item->Subject(), "Hello");
  EXPECT_EQ(item->recipients().size(), 3u);
}

TEST_F(OutlookItems, CloseWithDiscardReturnsToTheLastSaveAndClosesItsWindow) {
  auto item = outlook.NewMail("Saved", three, "saved body");
  auto window = outlook.OpenInspector(item);
  item->SetSubject("Unsaved");
  item->SetBody("unsaved body");
  item->Close(host::olDiscard);
  EXPECT_EQ(item->Subject(), "Saved");
  EXPECT_EQ(item->Body(), "saved body");
  EXPECT_EQ(item->closeCount(), 1);
  EXPECT_FALSE(window->isOpen());
  EXPECT_EQ(outlook.ActiveInspector(), nullptr);
}

TEST_F(OutlookItems, DeleteMovesToDeletedItemsAndLeavesTheObjectStale) {
  auto item = outlook.NewMail("Doomed", three, "x");
  item->Delete();
  EXPECT_EQ(outlook.folder("Drafts")->count(), 0u);
  EXPECT_EQ(outlook.folder("Deleted Items")->Subjects(), std::vector<std::string>{"Doomed"});
  EXPECT_THROW(item->Subject(), host::Error);
  EXPECT_THROW(item->Delete(), host::Error);
}

TEST_F(OutlookItems, MoveReturnsTheItemInTheTargetFolder) {
  auto item = outlook.NewMail("Keep", three, "x");
  auto sent = outlook.GetNamespace("MAPI")->GetDefaultFolder(host::olFolderSentMail);
  auto moved = item->Move(*sent);
  EXPECT_EQ(moved->Subject(), "Keep");
  EXPECT_THROW(item->Subject(), host::Error);
  EXPECT_EQ(outlook.folder("Sent Items")->count(), 1u);
  EXPECT_EQ(outlook.folder("Drafts")->count(), 0u);
}

TEST_F(OutlookItems, CreateItemIsUnsavedUntilSaveThenInDrafts) {
  auto item = outlook.CreateItem(host::olMailItem);
  EXPECT_EQ(item->Class(), host::olMail);
  EXPECT_EQ(outlook.folder("Drafts")->count(), 0u);
  item->Save();
  EXPECT_EQ(outlook.folder("Drafts")->count(), 1u);
  EXPECT_THROW(outlook.CreateItem(7), host::Error);
}

TEST_F(OutlookItems, HtmlBodyMakesAnHtmlItemAndDerivesTheText) {
  auto item = std::dynamic_pointer_cast<SimMailItem>(outlook.CreateItem(host::olMailItem));
  item->SetBody("plain only");
  EXPECT_EQ(item->HTMLBody(), "");
  item->SetHTMLBody("<html><head><title>t</title></head><body>a&amp;b<br>c &lt;d&gt;</body></html>");
  EXPECT_TRUE(item->isHtml());
  EXPECT_EQ(item->Body(), "a&b\r\nc <d>");
  item->SetBody("back to plain");
  EXPECT_EQ(item->HTMLBody(), "");
}

TEST(PlainFromHtml, ALinkKeepsItsAddressAfterItsTextAsOutlookWritesIt) {
  const struct {
    const char* html;
    const char* plain;
  } cases[] = {
      {"please click on the following link:<br><a href=\"http://h/p/b01/tovik.php?Ab1\">Read Email</a>",
       "please click on the following link:\r\nRead Email <http://h/p/b01/tovik.php?Ab1>"},
      {"<A HREF='http://h/x?a=1&amp;cmd=del' target=_blank>cancel</A>.", "cancel <http://h/x?a=1&cmd=del>."},
      {"<a href=http://h/p>http://h/p</a>", "http://h/p"},  // the text is the address: once
      {"<a name=\"top\">Top</a> <a data-href=\"x\">no link</a>", "Top no link"},
  };
  for (const auto& c : cases) EXPECT_EQ(host::sim::PlainFromHtml(c.html), c.plain) << c.html;
}

TEST_F(OutlookItems, OtherItemKindsLackTheMailMembers) {
  auto contact = outlook.NewItem(olContact, "Someone");
  EXPECT_EQ(contact->Class(), olContact);
  EXPECT_EQ(contact->Subject(), "Someone");
  EXPECT_THROW(contact->HTMLBody(), host::Error);
}

TEST(OutlookVersion, EveryItemReportsTheVersionOutlookWasMadeWith) {
  for (const char* version : {"9.0", "10.0", "11.0", "8.5", "9.0.0.2711"}) {
    SimOutlook outlook(version);
    EXPECT_EQ(outlook.CreateItem(host::olMailItem)->OutlookVersion(), version);
  }
}

TEST_F(OutlookItems, OnlyTheMapiNamespaceExists) {
  EXPECT_NE(outlook.GetNamespace("MAPI"), nullptr);
  EXPECT_THROW(outlook.GetNamespace("Other"), host::Error);
}

TEST_F(OutlookItems, DefaultFoldersByNumber) {
  struct Case {
    int type;
    const char* name;
  };
  auto ns = outlook.GetNamespace("MAPI");
  for (const Case& c : {Case{5, "Sent Items"}, Case{4, "Outbox"}, Case{16, "Drafts"}, Case{3, "Deleted Items"}}) {
    EXPECT_EQ(ns->GetDefaultFolder(c.type)->Name(), c.name) << c.type;
  }
  EXPECT_THROW(ns->GetDefaultFolder(99), host::Error);
}

TEST_F(OutlookItems, CurrentUserAddressFailsWhenTheUserRefusesTheGuard) {
  outlook.SetCurrentUser(SimAddress::Smtp("Me", "me@example.org"));
  auto user = outlook.GetNamespace("MAPI")->CurrentUser();
  EXPECT_EQ(user->Name(), "Me");
  EXPECT_EQ(user->Address(), "me@example.org");
  outlook.RefuseCurrentUser(true);
  try {
    user->Address();
    FAIL() << "the refused prompt must fail the read";
  } catch (const host::Error& error) {
    EXPECT_EQ(error.code(), kMapiNotSupported);
  }
  EXPECT_EQ(outlook.guardPrompts(), 2);
}

TEST_F(OutlookItems, InjectedFailureHitsTheNthCallOnly) {
  auto item = outlook.NewMail("x", three, "y");
  outlook.faults().FailNth("MailItem.Copy", 2);
  EXPECT_NO_THROW(item->Copy());
  EXPECT_THROW(item->Copy(), host::Error);
  EXPECT_NO_THROW(item->Copy());
  EXPECT_EQ(outlook.faults().Calls("MailItem.Copy"), 3);
}

TEST_F(OutlookItems, InspectorsAndExplorersComeAndGo) {
  EXPECT_EQ(outlook.ActiveInspector(), nullptr);
  EXPECT_EQ(outlook.ActiveExplorer(), nullptr);
  std::vector<std::shared_ptr<host::Inspector>> seen;
  auto subscription = outlook.GetInspectors()->OnNewInspector([&](auto inspector) { seen.push_back(inspector); });
  auto first = outlook.OpenInspector(outlook.NewMail("1", three, "a"));
  auto second = outlook.OpenInspector(outlook.NewMail("2", three, "b"));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1], second);
  EXPECT_EQ(outlook.ActiveInspector(), second);
  second->Close();
  EXPECT_EQ(outlook.ActiveInspector(), first);
  subscription.reset();
  outlook.OpenInspector(outlook.NewMail("3", three, "c"));
  EXPECT_EQ(seen.size(), 2u);

  auto explorer = outlook.OpenExplorer();
  int closes = 0;
  auto onClose = outlook.ActiveExplorer()->OnClose([&] { ++closes; });
  outlook.ActiveExplorer()->Close();
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(outlook.explorerCloseCalls(), 1);
  EXPECT_EQ(outlook.ActiveExplorer(), nullptr);
}

// What Outlook does with a message handed for delivery: the spooler files it
// in Sent Items later, through Outlook's messages and never inside Send; the
// folder's Items then raise ItemAdd with the item now in the folder, for as
// long as the Items object is held.
TEST_F(OutlookItems, ASentMessageArrivesInSentItemsAfterSendWithItemAdd) {
  auto pump = std::make_shared<EventPump>();
  outlook.SetEventQueue([pump](std::function<void()> work) { pump->Post(std::move(work)); });
  auto sent = outlook.folder("Sent Items");
  auto items = outlook.GetNamespace("MAPI")->GetDefaultFolder(host::olFolderSentMail)->GetItems();
  std::vector<std::shared_ptr<host::MailItem>> added;
  auto subscription = items->OnItemAdd([&](std::shared_ptr<host::MailItem> item) { added.push_back(item); });

  SimSafeMailItem safe(std::make_shared<Faults>());
  safe.SetItem(outlook.NewMail("Hello", {three[0]}, "plain"));
  safe.Send();
  EXPECT_EQ(outlook.folder("Outbox")->count(), 1u);
  EXPECT_EQ(sent->count(), 0u);

  while (pump->Pending()) pump->RunPending();
  EXPECT_EQ(outlook.folder("Outbox")->count(), 0u);
  ASSERT_EQ(sent->count(), 1u);
  EXPECT_TRUE(sent->items()[0]->filedAfterSending());
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(added[0], sent->items()[0]);
  EXPECT_EQ(added[0]->Subject(), "Hello");
  EXPECT_TRUE(outlook.handedForDelivery().at(0)->stale());

  // Released, the Items object raises nothing more.
  items.reset();
  auto again = outlook.NewMail("Again", {three[0]}, "plain");
  again->Move(*sent);
  while (pump->Pending()) pump->RunPending();
  EXPECT_EQ(added.size(), 1u);
}

}  // namespace
}  // namespace host::sim

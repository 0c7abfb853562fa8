// The stand-in Redemption: missing library, the current user's fields,
// recipients closing up on Delete, and Send handing exactly the trimmed
// copy to the mail store.
#include "host/sim/redemption.h"

#include <gtest/gtest.h>

#include "host/error.h"
#include "host/sim/outlook.h"
#include "temp_dir.h"

namespace host::sim {
namespace {

TEST(RedemptionMissing, EveryCreateFailsLikeCreateObject) {
  SimRedemption redemption;
  redemption.SetInstalled(false);
  std::vector<std::function<void()>> creates = {
      [&] { redemption.CreateSafeMailItem(); },
      [&] { redemption.CreateSafeCurrentUser(); },
      [&] { redemption.CreateMAPIUtils(); },
  };
  for (auto& create : creates) {
    try {
      create();
      FAIL() << "Create must fail when Redemption is missing";
    } catch (const host::Error& error) {
      EXPECT_EQ(error.code(), kCannotCreateObject);
    }
  }
  EXPECT_EQ(redemption.created(kProgIdMAPIUtils), 1);
}

TEST(SafeCurrentUser, FieldsFollowTheEntryType) {
  struct Case {
    SimAddress user;
    std::string addrType, smtp;
  };
  const Case cases[] = {
      {SimAddress::Smtp("Me", "me@example.org"), "SMTP", ""},
      {SimAddress::Exchange("Me", "/o=Org/cn=me", "me@example.org"), "EX", "me@example.org"},
      {SimAddress::Exchange("Me", "/o=Org/cn=me", ""), "EX", ""},
      {SimAddress::Smtp("", ""), "SMTP", ""},
  };
  SimRedemption redemption;
  for (const Case& c : cases) {
    redemption.SetCurrentUser(c.user);
    auto user = redemption.CreateSafeCurrentUser();
    EXPECT_EQ(user->Name(), c.user.name);
    EXPECT_EQ(user->Address(), c.user.address);
    EXPECT_EQ(user->Fields(host::PR_ADDRTYPE), c.addrType);
    EXPECT_EQ(user->Fields(host::PR_SMTP_ADDRESS), c.smtp);
  }
  EXPECT_EQ(redemption.created(kProgIdSafeCurrentUser), 4);
}

TEST(SafeCurrentUser, EachObjectKeepsTheProfileAsItWasWhenCreated) {
  SimRedemption redemption;
  redemption.SetCurrentUser(SimAddress::Smtp("Old", "old@example.org"));
  auto before = redemption.CreateSafeCurrentUser();
  redemption.SetCurrentUser(SimAddress::Smtp("New", "new@example.org"));
  EXPECT_EQ(before->Address(), "old@example.org");
  EXPECT_EQ(redemption.CreateSafeCurrentUser()->Address(), "new@example.org");
}

class SafeSending : public ::testing::Test {
 protected:
  SafeSending() : store(std::make_shared<MailStore>(dir.path())) {
    store->SetSender({"Me", "me@example.org"});
    outlook.SetMailStore(store);
  }
  std::shared_ptr<host::SafeMailItem> Wrap(const std::shared_ptr<host::MailItem>& item) {
    auto safe = redemption.CreateSafeMailItem();
    safe->SetItem(item);
    return safe;
  }
  static std::vector<SimRecipient> Five() {
    return {SimRecipient::Smtp("R1", "r1@example.org"), SimRecipient::Smtp("R2", "r2@example.org", RecipientKind::Cc),
            SimRecipient::Exchange("R3", "/o=Org/cn=r3", "r3@example.org", RecipientKind::Bcc),
            SimRecipient::Smtp("", "r4@example.org"), SimRecipient::Smtp("R5", "r5@example.org")};
  }

  sim_outlook_test::TempDir dir;
  std::shared_ptr<MailStore> store;
  SimOutlook outlook;
  SimRedemption redemption;
};

TEST_F(SafeSending, DeletingRecipientOneClosesUpThePositions) {
  auto safe = Wrap(outlook.NewMail("s", Five(), "b"));
  auto recipients = safe->Recipients();
  auto first = recipients->Item(1);
  first->Delete();
  EXPECT_EQ(recipients->Count(), 4);
  EXPECT_EQ(recipients->Item(1)->Name(), "R2");
  EXPECT_THROW(first->Name(), host::Error);
  EXPECT_THROW(recipients->Item(5), host::Error);
  EXPECT_THROW(recipients->Item(0), host::Error);
}

TEST_F(SafeSending, TrimmingByShrinkingPositionsKeepsTheChosenRecipient) {
  auto item = outlook.NewMail("s", Five(), "b");
  for (int keep = 1; keep <= 5; ++keep) {
    auto safe = Wrap(item->Copy());
    int removed = 0;
    for (int j = 1; j <= 5; ++j) {
      if (j == keep) continue;
      safe->Recipients()->Item(j - removed)->Delete();
      ++removed;
    }
    ASSERT_EQ(safe->Recipients()->Count(), 1);
    EXPECT_EQ(safe->Recipients()->Item(1)->Address(), Five()[static_cast<std::size_t>(keep - 1)].address);
  }
  EXPECT_EQ(item->recipients().size(), 5u);
}

TEST_F(SafeSending, RecipientFieldsAndMissingNames) {
  auto safe = Wrap(outlook.NewMail("s", Five(), "b"));
  auto exchange = safe->Recipients()->Item(3);
  EXPECT_EQ(exchange->Fields(host::PR_ADDRTYPE), "EX");
  EXPECT_EQ(exchange->Fields(host::PR_SMTP_ADDRESS), "r3@example.org");
  EXPECT_EQ(exchange->Address(), "/o=Org/cn=r3");
  EXPECT_EQ(safe->Recipients()->Item(4)->Name(), "");
  EXPECT_EQ(safe->Recipients()->Item(4)->Fields(host::PR_ADDRTYPE), "SMTP");
}

TEST_F(SafeSending, SendWritesTheOneRecipientInItsKindWithBothBodies) {
  struct Case {
    int keep;
    RecipientKind kind;
    std::string address;
  };
  auto item = outlook.NewMail("Grüße", Five(), "", "<p>Hallo &amp; <b>tschüss</b></p>");
  for (const Case& c : {Case{1, RecipientKind::To, "r1@example.org"}, Case{2, RecipientKind::Cc, "r2@example.org"},
                        Case{3, RecipientKind::Bcc, "r3@example.org"}}) {
    auto safe = Wrap(item->Copy());
    int removed = 0;
    for (int j = 1; j <= 5; ++j) {
      if (j != c.keep) safe->Recipients()->Item(j - removed++)->Delete();
    }
    safe->Recipients()->ResolveAll();
    safe->Send();

    ASSERT_FALSE(store->Written().empty());
    const StoredMessage& stored = store->Written().back();
    EXPECT_EQ(stored.folder, "Outbox");
    EXPECT_EQ(stored.path.parent_path(), dir.path() / "Outbox");
    ParsedMail mail = ReadEml(stored.path);
    ASSERT_EQ(mail.recipients.size(), 1u);
    EXPECT_EQ(mail.recipients[0].address, c.address);
    EXPECT_EQ(mail.recipients[0].kind, c.kind);
    EXPECT_EQ(mail.from, (Mailbox{"Me", "me@example.org"}));
    EXPECT_EQ(mail.subject, "Grüße");
    EXPECT_EQ(mail.contentType, "multipart/alternative");
    EXPECT_EQ(mail.htmlBody, "<p>Hallo &amp; <b>tschüss</b></p>");
    EXPECT_EQ(mail.body, "Hallo & tschüss\r\n");
    EXPECT_FALSE(mail.date.empty());
    EXPECT_EQ(mail.messageId, stored.messageId);
  }
  EXPECT_EQ(outlook.folder("Outbox")->count(), 3u);
  EXPECT_EQ(outlook.folder("Drafts")->items(), std::vector<std::shared_ptr<SimMailItem>>{item});
  EXPECT_EQ(redemption.resolveAllCalls(), 3);
}

TEST_F(SafeSending, PlainTextMessageLeavesAsTextPlain) {
  auto safe = Wrap(outlook.NewMail("Plain", {SimRecipient::Smtp("A", "a@example.org")}, "line 1\r\nline 2"));
  safe->Send();
  ParsedMail mail = ReadEml(store->Written().back().path);
  EXPECT_EQ(mail.contentType, "text/plain");
  EXPECT_EQ(mail.body, "line 1\r\nline 2");
  EXPECT_EQ(mail.htmlBody, "");
}

TEST_F(SafeSending, SendWithoutRecipientsOrItemFails) {
  EXPECT_THROW(Wrap(outlook.NewMail("none", {}, "b"))->Send(), host::Error);
  EXPECT_THROW(redemption.CreateSafeMailItem()->Send(), host::Error);
  EXPECT_TRUE(store->Written().empty());
}

TEST_F(SafeSending, TheNthSendFailsAndLeavesThatCopyInDrafts) {
  auto item = outlook.NewMail("s", Five(), "b");
  redemption.faults().FailNth("SafeMailItem.Send", 2);
  EXPECT_NO_THROW(Wrap(item->Copy())->Send());
  EXPECT_THROW(Wrap(item->Copy())->Send(), host::Error);
  EXPECT_EQ(store->InFolder("Outbox").size(), 1u);
  EXPECT_EQ(outlook.folder("Drafts")->count(), 2u);
  EXPECT_EQ(redemption.sendCalls(), 2);
}

TEST_F(SafeSending, MoveToSentItemsKeepsACopyThatIsNeverSent) {
  auto safe = Wrap(outlook.NewMail("Keep", Five(), "body"));
  safe->SetSubject(safe->Subject() + " (r1@example.org)");
  safe->SetBody("To cancel\r\n" + safe->Body());
  auto sent = outlook.GetNamespace("MAPI")->GetDefaultFolder(host::olFolderSentMail);
  safe->Move(*sent);
  EXPECT_EQ(safe->Subject(), "Keep (r1@example.org)");
  EXPECT_TRUE(store->InFolder("Outbox").empty());
  auto kept = store->InFolder("Sent Items");
  ASSERT_EQ(kept.size(), 1u);
  ParsedMail mail = ReadEml(kept[0].path);
  EXPECT_EQ(mail.subject, "Keep (r1@example.org)");
  EXPECT_EQ(mail.body, "To cancel\r\nbody");
  EXPECT_EQ(mail.recipients.size(), 5u);
  EXPECT_EQ(outlook.folder("Sent Items")->Subjects(), std::vector<std::string>{"Keep (r1@example.org)"});
}

TEST_F(SafeSending, UtilsCountDeliverNowAndCleanup) {
  auto utils = redemption.CreateMAPIUtils();
  utils->DeliverNow();
  utils->DeliverNow();
  redemption.CreateMAPIUtils()->Cleanup();
  EXPECT_EQ(redemption.deliverNowCalls(), 2);
  EXPECT_EQ(redemption.cleanupCalls(), 1);
  EXPECT_EQ(redemption.created(kProgIdMAPIUtils), 2);
}

}  // namespace
}  // namespace host::sim

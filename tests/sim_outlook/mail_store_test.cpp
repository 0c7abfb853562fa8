// The mail store's .eml files read back with GMime as they were written.
#include "host/sim/mail_store.h"

#include <gtest/gtest.h>

#include "host/error.h"
#include "temp_dir.h"

namespace host::sim {
namespace {

TEST(MailStore, WritesEachMessageAsItsOwnFileAndRecordsIt) {
  sim_outlook_test::TempDir dir;
  MailStore store(dir.path());
  for (const char* folder : {"Outbox", "Sent Items", "Drafts"})
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / folder));

  MailMessage message{{"Ünïcode Sender", "me@example.org"},
                      {{"Ann \"A\" <x>", "ann@example.org", RecipientKind::To},
                       {"", "cc@example.org", RecipientKind::Cc},
                       {"Bea", "bcc@example.org", RecipientKind::Bcc}},
                      "Ärger, \"Zitate\" und =?Q?= Zeichen",
                      "Zeile 1\r\nZeile 2 mit Umlaut ä\r\n" + std::string(200, 'x'),
                      ""};
  auto first = store.Write("Outbox", message);
  auto second = store.Write("Outbox", message);
  EXPECT_NE(first, second);
  EXPECT_EQ(store.InFolder("Outbox").size(), 2u);
  EXPECT_TRUE(store.InFolder("Sent Items").empty());

  ParsedMail mail = ReadEml(first);
  EXPECT_EQ(mail.from, message.from);
  EXPECT_EQ(mail.recipients, message.recipients);
  EXPECT_EQ(mail.subject, message.subject);
  EXPECT_EQ(mail.body, message.body);
  EXPECT_EQ(mail.contentType, "text/plain");
  EXPECT_NE(mail.messageId, ReadEml(second).messageId);
}

TEST(MailStore, BytesThatAreNotUtf8AreTakenAsTheWindowsCodePage) {
  sim_outlook_test::TempDir dir;
  MailStore store(dir.path());
  auto path =
      store.Write("Outbox", {{"Ren\xE9", "rene@example.org"}, {}, "Caf\xE9", "caf\xE9 cr\xE8me", "<b>\x80</b>"});
  ParsedMail mail = ReadEml(path);
  EXPECT_EQ(mail.from.name, "Ren\u00e9");
  EXPECT_EQ(mail.subject, "Caf\u00e9");
  EXPECT_EQ(mail.body, "caf\u00e9 cr\u00e8me");
  EXPECT_EQ(mail.htmlBody, "<b>\u20ac</b>");
}

TEST(MailStore, AStoreReopenedOnTheSameDirectoryKeepsEarlierFiles) {
  sim_outlook_test::TempDir dir;
  auto earlier = MailStore(dir.path()).Write("Sent Items", {{}, {}, "one", "1", ""});
  MailStore reopened(dir.path());
  reopened.SetSender({"Me", "me@example.org"});
  auto later = reopened.Write("Sent Items", {{}, {}, "two", "2", ""});
  EXPECT_NE(earlier, later);
  EXPECT_EQ(ReadEml(earlier).subject, "one");
  EXPECT_EQ(ReadEml(later).from, (Mailbox{"Me", "me@example.org"}));
}

TEST(MailStore, ReadingSomethingThatIsNoMessageFails) {
  sim_outlook_test::TempDir dir;
  EXPECT_THROW(ReadEml(dir.path() / "missing.eml"), host::Error);
}

}  // namespace
}  // namespace host::sim

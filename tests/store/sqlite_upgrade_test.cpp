// A database written before the search text was kept beside each message:
// opening it brings the schema up and its messages are found as before.
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>

#include "store_fixture.h"

namespace store_test {
namespace {

void Exec(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

TEST(SqliteUpgrade, MessagesOfTheFirstSchemaAreSearchableAfterTheUpgrade) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("mailwarden-upgrade-" + std::to_string(::getpid()) + ".db")).string();
  std::filesystem::remove(path);
  {
    auto store = OpenStore("sqlite:" + path);
    store->AddAccount("ann@example.com", 10, kMarch14);
    NewMessage message;
    message.sender = "ann@example.com";
    message.subject = "Quarterly figures";
    message.issued = kMarch14;
    message.recipients = {{"bob@example.org", "Bob Baker"}};
    ASSERT_EQ(store->IssueStamps(message, 0, [] { return std::string("stamp1"); }).outcome, IssueOutcome::kIssued);
    store->RecordEvents({{"stamp1", EventType::kImage, EventClass::kPerson, kMarch14, "192.0.2.1", "Mail", "x"}});
  }
  // Back to the first schema, as a database of the first release left it.
  Exec(path,
       "DROP TABLE outbox; DROP TABLE webhooks; ALTER TABLE accounts DROP COLUMN notify; "
       "ALTER TABLE accounts DROP COLUMN time_zone; "
       "DROP INDEX sessions_by_marker; DROP INDEX sessions_by_last_seen; ALTER TABLE sessions DROP COLUMN marker_hash; "
       "ALTER TABLE sessions DROP COLUMN created; ALTER TABLE events DROP COLUMN count; "
       "DROP INDEX messages_search; ALTER TABLE messages DROP COLUMN search; "
       "ALTER TABLE messages DROP COLUMN received; ALTER TABLE messages DROP COLUMN received_content; "
       "ALTER TABLE accounts DROP COLUMN addin_key; DROP TABLE seen_signatures; "
       "CREATE INDEX messages_by_account ON messages(account_id, id); "
       "ALTER TABLE events DROP COLUMN reason; DROP TABLE service_keys; "
       "DELETE FROM schema_migrations WHERE version >= 2;");
  auto store = OpenStore("sqlite:" + path);
  const std::int64_t ann = store->FindAccount("ann@example.com")->id;
  for (const char* search : {"quarterly", "bob@", "baker"}) {
    const auto found = store->ListMessages({ann, search, 0, 50, {}});
    ASSERT_EQ(found.size(), 1u) << search;
    EXPECT_EQ(found[0].subject, "Quarterly figures");
  }
  EXPECT_TRUE(store->ListMessages({ann, "carol", 0, 50, {}}).empty());
  // Events recorded before reasons were kept have none.
  const auto events = store->ListMessages({ann, "", 0, 50, {}}).at(0).recipients.at(0).events;
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].reason, "");
  store.reset();
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
}

}  // namespace
}  // namespace store_test

// The SQLite engine's schema migrations: a database made by an older
// version is brought up to date when opened, its data kept and searchable;
// a database newer than the program is refused.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>

#include "service/store/store.h"

namespace store_test {
namespace {

using namespace mailwarden::store;

class SqliteMigrationTest : public ::testing::Test {
 protected:
  ~SqliteMigrationTest() override {
    for (const char* end : {"", "-wal", "-shm"}) std::filesystem::remove(path_ + end);
  }
  void Sql(const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
  }
  std::string path_ =
      (std::filesystem::temp_directory_path() / ("mailwarden-migration-" + std::to_string(::getpid()) + ".db"))
          .string();
};

TEST_F(SqliteMigrationTest, AnOlderDatabaseIsBroughtUpToDateWithItsData) {
  {
    auto store = OpenStore("sqlite:" + path_);
    NewMessage message;
    message.sender = "ann@example.com";
    message.subject = "Quarterly figures";
    message.recipients = {{"bob@example.org", "Bob Baker"}};
    ASSERT_EQ(store->IssueStamps(message, 5, [] { return std::string("Kept"); }).outcome, IssueOutcome::kIssued);
  }
  // As the first version left it: no search text beside the messages.
  Sql("DROP INDEX messages_search; ALTER TABLE messages DROP COLUMN search; "
      "DELETE FROM schema_migrations WHERE version > 1;");

  auto store = OpenStore("sqlite:" + path_);
  auto account = store->FindAccount("ann@example.com");
  ASSERT_TRUE(account);
  EXPECT_EQ(store->CreditLeft("ann@example.com", 0), 4);
  EXPECT_TRUE(store->FindStamp("Kept"));
  for (const char* search : {"quarterly", "bob@", "baker"}) {
    auto found = store->ListMessages({account->id, search, 0, 10});
    ASSERT_EQ(found.size(), 1u) << search;
    EXPECT_EQ(found[0].subject, "Quarterly figures");
  }
  EXPECT_TRUE(store->ListMessages({account->id, "carol", 0, 10}).empty());
}

TEST_F(SqliteMigrationTest, ADatabaseOfANewerVersionIsRefused) {
  OpenStore("sqlite:" + path_).reset();
  Sql("INSERT INTO schema_migrations (version, applied) VALUES (999, 0);");
  EXPECT_THROW(OpenStore("sqlite:" + path_), StoreError);
}

}  // namespace
}  // namespace store_test

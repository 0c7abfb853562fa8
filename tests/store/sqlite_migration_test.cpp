// The SQLite engine's schema migrations: a database opened again keeps its
// data and is not migrated twice; a database newer than the program is refused.
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

TEST_F(SqliteMigrationTest, ReopeningKeepsTheDataAndMigratesNothingTwice) {
  {
    auto store = OpenStore("sqlite:" + path_);
    NewMessage message;
    message.sender = "ann@example.com";
    message.subject = "Quarterly figures";
    message.recipients = {{"bob@example.org", "Bob"}};
    ASSERT_EQ(store->IssueStamps(message, 5, [] { return std::string("Kept"); }).outcome, IssueOutcome::kIssued);
  }
  auto store = OpenStore("sqlite:" + path_);
  EXPECT_EQ(store->CreditLeft("ann@example.com", 0), 4);
  EXPECT_TRUE(store->FindStamp("Kept"));
  store.reset();
  Sql("CREATE TABLE applied AS SELECT COUNT(*) AS n FROM schema_migrations;");
  OpenStore("sqlite:" + path_).reset();
  Sql("INSERT INTO applied SELECT COUNT(*) FROM schema_migrations;");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* statement = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT COUNT(DISTINCT n) FROM applied", -1, &statement, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(statement, 0), 1);
  sqlite3_finalize(statement);
  sqlite3_close(db);
}

TEST_F(SqliteMigrationTest, ADatabaseOfANewerVersionIsRefused) {
  OpenStore("sqlite:" + path_).reset();
  Sql("INSERT INTO schema_migrations (version, applied) VALUES (999, 0);");
  EXPECT_THROW(OpenStore("sqlite:" + path_), StoreError);
}

}  // namespace
}  // namespace store_test

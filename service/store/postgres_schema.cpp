#include "service/store/postgres_schema.h"

#include <string>
#include <vector>

#include "service/store/store.h"

namespace mailwarden::store {
namespace {

// Taken for the migration transaction; any number the service alone uses.
constexpr long long kMigrationLock = 0x6d61696c77617264;  // "mailward"

// Migration n brings version n-1 to n. Never edit one that has shipped:
// add the next.
const std::vector<std::string>& Migrations() {
  static const std::vector<std::string> migrations = {
      // 1: accounts, their monthly credit, messages, stamps, events,
      // sessions and attempt counters. Times are microseconds since 1970
      // (UTC); "month" is year * 12 + month - 1. Events have no foreign key
      // to their stamp, for speed: the store deletes them with the stamp.
      R"sql(
CREATE TABLE accounts (
  id bigserial PRIMARY KEY,
  address text NOT NULL UNIQUE,
  password_hash text NOT NULL DEFAULT '',
  monthly_credit integer NOT NULL,
  codepage integer NOT NULL DEFAULT 1252,
  created bigint NOT NULL
);
CREATE TABLE credit_months (
  account_id bigint NOT NULL REFERENCES accounts (id) ON DELETE CASCADE,
  month integer NOT NULL,
  used integer NOT NULL,
  PRIMARY KEY (account_id, month)
);
CREATE TABLE messages (
  id bigserial PRIMARY KEY,
  account_id bigint NOT NULL REFERENCES accounts (id) ON DELETE CASCADE,
  kind smallint NOT NULL,
  subject text NOT NULL,
  sent_date text NOT NULL,
  sent_time text NOT NULL,
  issued bigint NOT NULL,
  ip text NOT NULL,
  from_name text NOT NULL,
  content text,
  is_html boolean NOT NULL,
  search text NOT NULL
);
CREATE INDEX messages_by_account ON messages (account_id, id);
CREATE INDEX messages_by_issued ON messages (issued);
CREATE TABLE stamps (
  stamp text PRIMARY KEY,
  message_id bigint NOT NULL REFERENCES messages (id) ON DELETE CASCADE,
  position integer NOT NULL,
  recipient text NOT NULL,
  recipient_name text NOT NULL,
  cancelled boolean NOT NULL DEFAULT false
);
CREATE INDEX stamps_by_message ON stamps (message_id, position);
CREATE TABLE events (
  id bigserial PRIMARY KEY,
  stamp text NOT NULL,
  type smallint NOT NULL,
  class smallint NOT NULL,
  time bigint NOT NULL,
  ip text NOT NULL,
  user_agent text NOT NULL
);
CREATE INDEX events_by_stamp ON events (stamp, id);
CREATE TABLE sessions (
  token_hash text PRIMARY KEY,
  account_id bigint NOT NULL REFERENCES accounts (id) ON DELETE CASCADE,
  csrf text NOT NULL,
  last_seen bigint NOT NULL
);
CREATE INDEX sessions_by_account ON sessions (account_id);
CREATE TABLE attempts (
  kind text NOT NULL,
  key text NOT NULL,
  window_start bigint NOT NULL,
  count integer NOT NULL,
  PRIMARY KEY (kind, key, window_start)
);
CREATE INDEX attempts_by_window ON attempts (window_start);
)sql",
  };
  return migrations;
}

}  // namespace

void MigratePostgres(pqxx::connection& connection) {
  try {
    pqxx::work work(connection);
    work.exec_params("SELECT pg_advisory_xact_lock($1)", kMigrationLock);
    work.exec("CREATE TABLE IF NOT EXISTS schema_version (version integer NOT NULL)");
    const int current = work.exec1("SELECT coalesce(max(version), 0) FROM schema_version")[0].as<int>();
    const int newest = static_cast<int>(Migrations().size());
    if (current > newest) {
      throw StoreError("the database has schema version " + std::to_string(current) +
                       ", newer than this program knows (" + std::to_string(newest) + ")");
    }
    for (int version = current + 1; version <= newest; ++version) {
      work.exec(Migrations()[version - 1]);
      work.exec_params("INSERT INTO schema_version (version) VALUES ($1)", version);
    }
    work.commit();
  } catch (const pqxx::failure& e) {
    throw StoreError(std::string("cannot prepare the database: ") + e.what());
  }
}

}  // namespace mailwarden::store

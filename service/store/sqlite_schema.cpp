#include "service/store/sqlite_schema.h"

#include <string>
#include <vector>

#include "service/store/store.h"

namespace mailwarden::store::sqlite {
namespace {

// Append only: a migration once released is never changed.
const std::vector<const char*> kMigrations = {
    // 1: accounts, credit per month, messages, stamps, events, sessions, attempts.
    R"(
CREATE TABLE accounts (
  id INTEGER PRIMARY KEY,
  address TEXT NOT NULL UNIQUE,
  password_hash TEXT NOT NULL DEFAULT '',
  monthly_credit INTEGER NOT NULL,
  codepage INTEGER NOT NULL DEFAULT 1252,
  created INTEGER NOT NULL
);
CREATE TABLE credit_used (
  account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
  month INTEGER NOT NULL,
  used INTEGER NOT NULL,
  PRIMARY KEY (account_id, month)
) WITHOUT ROWID;
CREATE TABLE messages (
  id INTEGER PRIMARY KEY,
  account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
  kind INTEGER NOT NULL,
  subject TEXT NOT NULL,
  sent_date TEXT NOT NULL,
  sent_time TEXT NOT NULL,
  issued INTEGER NOT NULL,
  ip TEXT NOT NULL,
  from_name TEXT NOT NULL DEFAULT '',
  content TEXT,
  is_html INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX messages_by_account ON messages(account_id, id);
CREATE INDEX messages_by_issued ON messages(issued);
CREATE INDEX messages_with_content ON messages(issued) WHERE content IS NOT NULL;
CREATE TABLE stamps (
  id INTEGER PRIMARY KEY,
  stamp TEXT NOT NULL UNIQUE,
  message_id INTEGER NOT NULL REFERENCES messages(id) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  address TEXT NOT NULL,
  name TEXT NOT NULL,
  cancelled INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX stamps_by_message ON stamps(message_id, position);
CREATE TABLE events (
  id INTEGER PRIMARY KEY,
  stamp_id INTEGER NOT NULL REFERENCES stamps(id) ON DELETE CASCADE,
  type INTEGER NOT NULL,
  class INTEGER NOT NULL,
  time INTEGER NOT NULL,
  ip TEXT NOT NULL,
  user_agent TEXT NOT NULL
);
CREATE INDEX events_by_stamp ON events(stamp_id, id);
CREATE TABLE sessions (
  token_hash TEXT PRIMARY KEY,
  account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
  csrf TEXT NOT NULL,
  last_seen INTEGER NOT NULL
);
CREATE INDEX sessions_by_account ON sessions(account_id);
CREATE TABLE attempts (
  kind TEXT NOT NULL,
  key TEXT NOT NULL,
  window_start INTEGER NOT NULL,
  count INTEGER NOT NULL,
  PRIMARY KEY (kind, key, window_start)
) WITHOUT ROWID;
CREATE INDEX attempts_by_window ON attempts(window_start);
)",
    // 2: what the sender's search looks through (subject, then each recipient's address and name, a line each),
    // kept beside the message in the index by sender, so a search reads one range of one index; it takes the
    // place of the index by sender and id, which it begins with.
    R"(
ALTER TABLE messages ADD COLUMN search TEXT NOT NULL DEFAULT '';
UPDATE messages SET search = subject || COALESCE((SELECT group_concat(char(10) || address || char(10) || name, '')
                                                  FROM stamps WHERE stamps.message_id = messages.id), '');
CREATE INDEX messages_search ON messages(account_id, id, search);
DROP INDEX messages_by_account;
)",
    // 3: the escapes of text not read for sure, to read it again once the sender's code page is set.
    R"(
ALTER TABLE messages ADD COLUMN received TEXT;
ALTER TABLE messages ADD COLUMN received_content TEXT;
)",
    // 4: the senders' add-in keys (sealed), and the request signatures seen while they are still good.
    R"(
ALTER TABLE accounts ADD COLUMN addin_key TEXT NOT NULL DEFAULT '';
CREATE TABLE seen_signatures (
  signature TEXT PRIMARY KEY,
  expires INTEGER NOT NULL
) WITHOUT ROWID;
CREATE INDEX seen_signatures_by_expiry ON seen_signatures(expires);
)",
    // 5: an event row may stand for several alike (one stamp, type and client within a minute, or any past the
    // stamp's cap); a session has an absolute end, and a marker token of its own for the recipients' links.
    R"(
ALTER TABLE events ADD COLUMN count INTEGER NOT NULL DEFAULT 1;
ALTER TABLE sessions ADD COLUMN created INTEGER NOT NULL DEFAULT 0;
UPDATE sessions SET created = last_seen;
ALTER TABLE sessions ADD COLUMN marker_hash TEXT;
CREATE UNIQUE INDEX sessions_by_marker ON sessions(marker_hash);
CREATE INDEX sessions_by_last_seen ON sessions(last_seen);
)",
    // 6: why each event was taken for a person, a machine or the sender; the service's own secrets (the key that
    // binds the recipients' forms to their stamps).
    R"(
ALTER TABLE events ADD COLUMN reason TEXT NOT NULL DEFAULT '';
CREATE TABLE service_keys (
  name TEXT PRIMARY KEY,
  value TEXT NOT NULL
) WITHOUT ROWID;
)",
    // 7: the senders' notices: by mail (each, a digest or none, in their time zone) and to their webhooks, from an
    // outbox written with the event; a delivery is leased by the worker sending it.
    R"(
ALTER TABLE accounts ADD COLUMN notify TEXT NOT NULL DEFAULT 'each';
ALTER TABLE accounts ADD COLUMN time_zone TEXT NOT NULL DEFAULT 'UTC';
CREATE TABLE webhooks (
  id INTEGER PRIMARY KEY,
  account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
  url TEXT NOT NULL,
  secret TEXT NOT NULL,
  created INTEGER NOT NULL,
  failing_since INTEGER NOT NULL DEFAULT 0,
  last_error TEXT NOT NULL DEFAULT '',
  paused INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX webhooks_by_account ON webhooks(account_id);
CREATE TABLE outbox (
  id INTEGER PRIMARY KEY,
  account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
  webhook_id INTEGER REFERENCES webhooks(id) ON DELETE CASCADE,
  stamp_id INTEGER NOT NULL REFERENCES stamps(id) ON DELETE CASCADE,
  event_id INTEGER NOT NULL,
  created INTEGER NOT NULL,
  due INTEGER NOT NULL,
  lease_until INTEGER NOT NULL DEFAULT 0,
  attempts INTEGER NOT NULL DEFAULT 0,
  summary INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX outbox_by_due ON outbox(due);
CREATE INDEX outbox_in_order ON outbox(webhook_id, stamp_id, id);
CREATE INDEX outbox_by_stamp ON outbox(stamp_id);
CREATE INDEX outbox_by_account ON outbox(account_id);
)",
};

}  // namespace

void Migrate(Connection& connection) {
  connection.Exec(
      "CREATE TABLE IF NOT EXISTS schema_migrations (version INTEGER PRIMARY KEY, applied INTEGER NOT NULL)");
  int current = 0;
  {
    Query query(connection, "SELECT COALESCE(MAX(version), 0) FROM schema_migrations");
    if (query.Step()) current = static_cast<int>(query.Int(0));
  }
  if (current > static_cast<int>(kMigrations.size())) {
    throw StoreError("the database has schema version " + std::to_string(current) + ", newer than this program's " +
                     std::to_string(kMigrations.size()));
  }
  for (int version = current + 1; version <= static_cast<int>(kMigrations.size()); ++version) {
    InTransaction(connection, true, [&] {
      // Another process may have migrated meanwhile.
      bool already = false;
      {
        Query done(connection, "SELECT 1 FROM schema_migrations WHERE version = ?");
        already = done.Bind(1, version).Step();
      }
      if (already) return;
      connection.Exec(kMigrations[static_cast<std::size_t>(version - 1)]);
      Query record(connection, "INSERT INTO schema_migrations (version, applied) VALUES (?, strftime('%s', 'now'))");
      record.Bind(1, version).Run();
    });
  }
}

}  // namespace mailwarden::store::sqlite

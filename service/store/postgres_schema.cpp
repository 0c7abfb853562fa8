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
      // (UTC); "month" is year * 12 + month - 1. Events, the one table that
      // grows with every image hit, are kept cheap to add to: no primary key
      // (id only orders them), their stamp by number, and no foreign key (the
      // store deletes them with their stamp).
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
  id bigint GENERATED ALWAYS AS IDENTITY UNIQUE,
  message_id bigint NOT NULL REFERENCES messages (id) ON DELETE CASCADE,
  position integer NOT NULL,
  recipient text NOT NULL,
  recipient_name text NOT NULL,
  cancelled boolean NOT NULL DEFAULT false
);
CREATE INDEX stamps_by_message ON stamps (message_id, position);
CREATE TABLE events (
  id bigserial NOT NULL,
  stamp_id bigint NOT NULL,
  type smallint NOT NULL,
  class smallint NOT NULL,
  time bigint NOT NULL,
  ip text NOT NULL,
  user_agent text NOT NULL
);
CREATE INDEX events_by_stamp ON events (stamp_id, id);
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
-- A stamp request in one call (one round trip, one transaction): the
-- sender's account (made with new_credit when there is none and it is
-- above 0), the month's credit checked and taken under a lock on the
-- month's row, so processes never together spend more than the month has,
-- then the message and one stamp per recipient. outcome: 0 issued,
-- 1 unknown sender, 2 not enough credit. A new stamp that meets an issued
-- one fails it all with SQLSTATE MW001, to be run again with new stamps.
CREATE FUNCTION issue_stamps(p_sender text, p_new_credit integer, p_issued bigint, p_month integer,
    p_kind smallint, p_subject text, p_sent_date text, p_sent_time text, p_ip text, p_from_name text,
    p_content text, p_is_html boolean, p_search text, p_stamps text[], p_addresses text[], p_names text[],
    OUT o_outcome integer, OUT o_credit_left integer, OUT o_message_id bigint)
LANGUAGE plpgsql AS $body$
DECLARE
  v_account bigint;
  v_credit integer;
  v_used integer;
  v_wanted integer := coalesce(array_length(p_stamps, 1), 0);
  v_added integer;
BEGIN
  o_message_id := 0;
  SELECT id, monthly_credit INTO v_account, v_credit FROM accounts WHERE address = p_sender;
  IF v_account IS NULL AND p_new_credit > 0 THEN
    INSERT INTO accounts (address, monthly_credit, created) VALUES (p_sender, p_new_credit, p_issued)
      ON CONFLICT (address) DO NOTHING;
    SELECT id, monthly_credit INTO v_account, v_credit FROM accounts WHERE address = p_sender;
  END IF;
  IF v_account IS NULL THEN
    o_outcome := 1;
    o_credit_left := 0;
    RETURN;
  END IF;
  INSERT INTO credit_months AS c (account_id, month, used)
    SELECT v_account, p_month, v_wanted WHERE v_wanted <= v_credit
    ON CONFLICT (account_id, month) DO UPDATE SET used = c.used + excluded.used
      WHERE c.used + excluded.used <= v_credit
    RETURNING used INTO v_used;
  IF v_used IS NULL THEN
    o_outcome := 2;
    o_credit_left := v_credit - coalesce(
      (SELECT used FROM credit_months WHERE account_id = v_account AND month = p_month), 0);
    RETURN;
  END IF;
  INSERT INTO messages (account_id, kind, subject, sent_date, sent_time, issued, ip, from_name, content,
                        is_html, search)
    VALUES (v_account, p_kind, p_subject, p_sent_date, p_sent_time, p_issued, p_ip, p_from_name, p_content,
            p_is_html, p_search)
    RETURNING id INTO o_message_id;
  INSERT INTO stamps (stamp, message_id, position, recipient, recipient_name)
    SELECT r.stamp, o_message_id, r.n - 1, r.address, r.name
    FROM unnest(p_stamps, p_addresses, p_names) WITH ORDINALITY AS r (stamp, address, name, n)
    ON CONFLICT (stamp) DO NOTHING;
  GET DIAGNOSTICS v_added = ROW_COUNT;
  IF v_added < v_wanted THEN
    RAISE EXCEPTION 'a new stamp met an issued one' USING ERRCODE = 'MW001';
  END IF;
  o_outcome := 0;
  o_credit_left := v_credit - v_used;
END
$body$;
)sql",
      // 2: the escapes of text not read for sure, to read it again once
      // the sender's code page is set.
      R"sql(
ALTER TABLE messages ADD COLUMN received text, ADD COLUMN received_content text;
)sql",
      // 3: the senders' add-in keys (sealed), and the request signatures
      // seen while they are still good.
      R"sql(
ALTER TABLE accounts ADD COLUMN addin_key text NOT NULL DEFAULT '';
CREATE TABLE seen_signatures (
  signature text PRIMARY KEY,
  expires bigint NOT NULL
);
CREATE INDEX seen_signatures_by_expiry ON seen_signatures (expires);
)sql",
      // 4: an event row may stand for several alike (one stamp, type, class
      // and client within a minute, or any past the stamp's cap); a session
      // has an absolute end, and a marker token of its own for the
      // recipients' links.
      R"sql(
ALTER TABLE events ADD COLUMN count integer NOT NULL DEFAULT 1;
ALTER TABLE sessions ADD COLUMN created bigint NOT NULL DEFAULT 0;
UPDATE sessions SET created = last_seen;
ALTER TABLE sessions ADD COLUMN marker_hash text UNIQUE;
CREATE INDEX sessions_by_last_seen ON sessions (last_seen);
-- One event: added to the latest alike within a minute, or past the cap to
-- the stamp's latest of its type; a new row otherwise. The stamp's row is
-- locked, so processes writing events of one stamp count together.
CREATE FUNCTION record_event(p_stamp text, p_type smallint, p_class smallint, p_time bigint, p_ip text,
                             p_user_agent text, p_count integer, p_cap integer, p_alike bigint)
RETURNS void LANGUAGE plpgsql AS $body$
DECLARE
  v_stamp bigint;
  v_event bigint;
BEGIN
  SELECT id INTO v_stamp FROM stamps WHERE stamp = p_stamp FOR UPDATE;
  IF v_stamp IS NULL THEN
    RETURN;
  END IF;
  SELECT id INTO v_event FROM events
    WHERE stamp_id = v_stamp AND type = p_type AND class = p_class AND ip = p_ip AND time >= p_time - p_alike
    ORDER BY id DESC LIMIT 1;
  IF v_event IS NULL AND (SELECT count(*) FROM events WHERE stamp_id = v_stamp) >= p_cap THEN
    SELECT id INTO v_event FROM events WHERE stamp_id = v_stamp AND type = p_type ORDER BY id DESC LIMIT 1;
  END IF;
  IF v_event IS NULL THEN
    INSERT INTO events (stamp_id, type, class, time, ip, user_agent, count)
      VALUES (v_stamp, p_type, p_class, p_time, p_ip, p_user_agent, p_count);
  ELSE
    UPDATE events SET count = count + p_count WHERE stamp_id = v_stamp AND id = v_event;
  END IF;
END
$body$;
)sql",
      // 5: why each event was taken for a person, a machine or the sender;
      // the service's own secrets (the key that binds the recipients' forms
      // to their stamps).
      R"sql(
ALTER TABLE events ADD COLUMN reason text NOT NULL DEFAULT '';
-- The events' folding, as before, keeping the reason of an event given a row of its own.
DROP FUNCTION record_event(text, smallint, smallint, bigint, text, text, integer, integer, bigint);
CREATE FUNCTION record_event(p_stamp text, p_type smallint, p_class smallint, p_time bigint, p_ip text,
                             p_user_agent text, p_count integer, p_cap integer, p_alike bigint, p_reason text)
RETURNS void LANGUAGE plpgsql AS $body$
DECLARE
  v_stamp bigint;
  v_event bigint;
BEGIN
  SELECT id INTO v_stamp FROM stamps WHERE stamp = p_stamp FOR UPDATE;
  IF v_stamp IS NULL THEN
    RETURN;
  END IF;
  SELECT id INTO v_event FROM events
    WHERE stamp_id = v_stamp AND type = p_type AND class = p_class AND ip = p_ip AND time >= p_time - p_alike
    ORDER BY id DESC LIMIT 1;
  IF v_event IS NULL AND (SELECT count(*) FROM events WHERE stamp_id = v_stamp) >= p_cap THEN
    SELECT id INTO v_event FROM events WHERE stamp_id = v_stamp AND type = p_type ORDER BY id DESC LIMIT 1;
  END IF;
  IF v_event IS NULL THEN
    INSERT INTO events (stamp_id, type, class, time, ip, user_agent, count, reason)
      VALUES (v_stamp, p_type, p_class, p_time, p_ip, p_user_agent, p_count, p_reason);
  ELSE
    UPDATE events SET count = count + p_count WHERE stamp_id = v_stamp AND id = v_event;
  END IF;
END
$body$;
CREATE TABLE service_keys (
  name text PRIMARY KEY,
  value text NOT NULL
);
)sql",
      // 6: the senders' notices: by mail (each, a digest or none, in their
      // time zone) and to their webhooks, from an outbox written in the
      // event's transaction; a delivery is leased by the worker sending it,
      // and taken with SKIP LOCKED so processes share the outbox.
      R"sql(
ALTER TABLE accounts ADD COLUMN notify text NOT NULL DEFAULT 'each';
ALTER TABLE accounts ADD COLUMN time_zone text NOT NULL DEFAULT 'UTC';
CREATE TABLE webhooks (
  id bigserial PRIMARY KEY,
  account_id bigint NOT NULL REFERENCES accounts (id) ON DELETE CASCADE,
  url text NOT NULL,
  secret text NOT NULL,
  created bigint NOT NULL,
  failing_since bigint NOT NULL DEFAULT 0,
  last_error text NOT NULL DEFAULT '',
  paused boolean NOT NULL DEFAULT false
);
CREATE INDEX webhooks_by_account ON webhooks (account_id);
CREATE TABLE outbox (
  id bigserial PRIMARY KEY,
  account_id bigint NOT NULL REFERENCES accounts (id) ON DELETE CASCADE,
  webhook_id bigint REFERENCES webhooks (id) ON DELETE CASCADE,
  stamp_id bigint NOT NULL REFERENCES stamps (id) ON DELETE CASCADE,
  event_id bigint NOT NULL,
  created bigint NOT NULL,
  due bigint NOT NULL,
  lease_until bigint NOT NULL DEFAULT 0,
  attempts integer NOT NULL DEFAULT 0,
  summary boolean NOT NULL DEFAULT false
);
CREATE INDEX outbox_by_due ON outbox (due);
CREATE INDEX outbox_in_order ON outbox (webhook_id, stamp_id, id);
CREATE INDEX outbox_by_stamp ON outbox (stamp_id);
CREATE INDEX outbox_by_account ON outbox (account_id);
-- The events' folding, as before; a new row is queued as its notices: for mail (p_mail: when the sender hears of
-- it by mail; of an open, only a stamp's first by a person) and for the account's webhooks (p_hooks).
DROP FUNCTION record_event(text, smallint, smallint, bigint, text, text, integer, integer, bigint, text);
CREATE FUNCTION record_event(p_stamp text, p_type smallint, p_class smallint, p_time bigint, p_ip text,
                             p_user_agent text, p_count integer, p_cap integer, p_alike bigint, p_reason text,
                             p_mail boolean, p_hooks boolean)
RETURNS void LANGUAGE plpgsql AS $body$
DECLARE
  v_stamp bigint;
  v_event bigint;
  v_account bigint;
BEGIN
  SELECT s.id, m.account_id INTO v_stamp, v_account FROM stamps s JOIN messages m ON m.id = s.message_id
    WHERE s.stamp = p_stamp FOR UPDATE OF s;
  IF v_stamp IS NULL THEN
    RETURN;
  END IF;
  SELECT id INTO v_event FROM events
    WHERE stamp_id = v_stamp AND type = p_type AND class = p_class AND ip = p_ip AND time >= p_time - p_alike
    ORDER BY id DESC LIMIT 1;
  IF v_event IS NULL AND (SELECT count(*) FROM events WHERE stamp_id = v_stamp) >= p_cap THEN
    SELECT id INTO v_event FROM events WHERE stamp_id = v_stamp AND type = p_type ORDER BY id DESC LIMIT 1;
  END IF;
  IF v_event IS NOT NULL THEN
    UPDATE events SET count = count + p_count WHERE stamp_id = v_stamp AND id = v_event;
    RETURN;
  END IF;
  INSERT INTO events (stamp_id, type, class, time, ip, user_agent, count, reason)
    VALUES (v_stamp, p_type, p_class, p_time, p_ip, p_user_agent, p_count, p_reason) RETURNING id INTO v_event;
  IF p_mail AND (p_type <> 0 OR (SELECT count(*) FROM events WHERE stamp_id = v_stamp AND type = 0 AND class = 0) = 1)
     AND (SELECT notify FROM accounts WHERE id = v_account) <> 'off' THEN
    INSERT INTO outbox (account_id, stamp_id, event_id, created, due) VALUES (v_account, v_stamp, v_event, p_time, p_time);
  END IF;
  IF p_hooks THEN
    INSERT INTO outbox (account_id, webhook_id, stamp_id, event_id, created, due)
      SELECT v_account, w.id, v_stamp, v_event, p_time, p_time FROM webhooks w
      WHERE w.account_id = v_account AND NOT w.paused ORDER BY w.id;
  END IF;
END
$body$;
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

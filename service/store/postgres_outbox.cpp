#include "service/store/postgres_outbox.h"

namespace mailwarden::store::postgres {

const std::vector<std::pair<const char*, const char*>>& OutboxStatements() {
  static const std::vector<std::pair<const char*, const char*>> statements = {
      // Rows another process holds are skipped, not waited for; a webhook's
      // delivery waits for the earlier ones of the same stamp.
      {"claim_deliveries",
       "WITH picked AS (SELECT o.id FROM outbox o WHERE o.due <= $1 AND o.lease_until <= $1 AND "
       "(o.webhook_id IS NULL OR NOT EXISTS (SELECT 1 FROM outbox p WHERE p.webhook_id = o.webhook_id "
       "AND p.stamp_id = o.stamp_id AND p.id < o.id)) ORDER BY o.id LIMIT $3 FOR UPDATE SKIP LOCKED) "
       "UPDATE outbox SET lease_until = $2, attempts = outbox.attempts + 1 FROM picked WHERE outbox.id = picked.id "
       "RETURNING outbox.id"},
      {"delivery",
       "SELECT o.id, o.account_id, a.address, a.notify, a.time_zone, coalesce(o.webhook_id, 0), "
       "coalesce(w.url, ''), coalesce(w.secret, ''), o.attempts, o.created, o.summary, e.id, e.type, e.class, "
       "e.reason, e.time, m.id, m.subject, m.kind, s.recipient, s.recipient_name FROM outbox o "
       "JOIN accounts a ON a.id = o.account_id JOIN events e ON e.stamp_id = o.stamp_id AND e.id = o.event_id "
       "JOIN stamps s ON s.id = o.stamp_id JOIN messages m ON m.id = s.message_id "
       "LEFT JOIN webhooks w ON w.id = o.webhook_id WHERE o.id = ANY($1::bigint[]) ORDER BY o.id"},
      {"finish_delivery", "DELETE FROM outbox WHERE id = $1"},
      {"webhook_working", "UPDATE webhooks SET failing_since = 0 WHERE id = $1"},
      {"retry_delivery", "UPDATE outbox SET due = $2, lease_until = 0, summary = $3 WHERE id = $1"},
      {"webhook_failing",
       "UPDATE webhooks SET last_error = $2, failing_since = CASE WHEN failing_since = 0 THEN $3 "
       "ELSE failing_since END WHERE id = $1"},
      {"pause_webhook", "UPDATE webhooks SET paused = true, last_error = $2 WHERE id = $1"},
      {"drop_webhook_deliveries", "DELETE FROM outbox WHERE webhook_id = $1"},
      {"set_notify", "UPDATE accounts SET notify = $2, time_zone = $3 WHERE address = $1"},
      {"add_webhook",
       "INSERT INTO webhooks (account_id, url, secret, created) SELECT id, $2, $3, $4 FROM accounts "
       "WHERE address = $1 RETURNING id, account_id, url, secret, created, failing_since, last_error, paused"},
      {"list_webhooks",
       "SELECT id, account_id, url, secret, created, failing_since, last_error, paused FROM webhooks "
       "WHERE account_id = $1 ORDER BY id"},
      {"remove_webhook", "DELETE FROM webhooks WHERE account_id = $1 AND id = $2"},
      {"resume_webhook", "UPDATE webhooks SET paused = false, failing_since = 0 WHERE account_id = $1 AND id = $2"},
  };
  return statements;
}

Webhook ReadWebhook(const pqxx::row& row) {
  return Webhook{row[0].as<std::int64_t>(), row[1].as<std::int64_t>(), row[2].as<std::string>(),
                 row[3].as<std::string>(),  row[4].as<Time>(),         row[5].as<Time>(),
                 row[6].as<std::string>(),  row[7].as<bool>()};
}

std::vector<Delivery> ClaimDeliveries(pqxx::transaction_base& work, Time now, Time leaseUntil, int limit) {
  std::string ids = "{";
  for (const auto& row : work.exec_prepared("claim_deliveries", now, leaseUntil, limit)) {
    if (ids.size() > 1) ids += ',';
    ids += row[0].c_str();
  }
  ids += '}';
  std::vector<Delivery> claimed;
  if (ids.size() == 2) return claimed;
  for (const auto& row : work.exec_prepared("delivery", ids)) {
    claimed.push_back(Delivery{row[0].as<std::int64_t>(), row[1].as<std::int64_t>(),  row[2].as<std::string>(),
                               row[3].as<std::string>(),  row[4].as<std::string>(),   row[5].as<std::int64_t>(),
                               row[6].as<std::string>(),  row[7].as<std::string>(),   row[8].as<int>(),
                               row[9].as<Time>(),         row[10].as<bool>(),         row[11].as<std::int64_t>(),
                               row[12].as<int>(),         row[13].as<int>(),          row[14].as<std::string>(),
                               row[15].as<Time>(),        row[16].as<std::int64_t>(), row[17].as<std::string>(),
                               row[18].as<int>() == 1,    row[19].as<std::string>(),  row[20].as<std::string>()});
  }
  return claimed;
}

}  // namespace mailwarden::store::postgres

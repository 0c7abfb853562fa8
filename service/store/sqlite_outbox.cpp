#include "service/store/sqlite_outbox.h"

namespace mailwarden::store::sqlite {

namespace {

Webhook ReadWebhook(const Query& q) {
  return Webhook{q.Int(0), q.Int(1), q.Text(2), q.Text(3), q.Int(4), q.Int(5), q.Text(6), q.Int(7) != 0};
}

constexpr const char* kWebhookColumns =
    "SELECT id, account_id, url, secret, created, failing_since, last_error, paused FROM webhooks ";

}  // namespace

void QueueNotices(Connection& c, std::int64_t stampId, std::int64_t eventId, const NewEvent& e, bool mail) {
  if (!NoticeWanted(e)) return;
  if (mail) {
    // By mail only a stamp's first open by a person; every receipt, read and cancellation.
    Query q(c,
            "INSERT INTO outbox (account_id, stamp_id, event_id, created, due) "
            "SELECT a.id, s.id, ?1, ?2, ?2 FROM stamps s JOIN messages m ON m.id = s.message_id "
            "JOIN accounts a ON a.id = m.account_id WHERE s.id = ?3 AND a.notify <> 'off' AND (?4 <> 0 OR "
            "(SELECT COUNT(*) FROM events WHERE stamp_id = ?3 AND type = 0 AND class = 0) = 1)");
    q.Bind(1, eventId).Bind(2, e.time).Bind(3, stampId).Bind(4, e.type == EventType::kImage ? 0 : 1).Run();
  }
  Query q(c,
          "INSERT INTO outbox (account_id, webhook_id, stamp_id, event_id, created, due) "
          "SELECT w.account_id, w.id, s.id, ?1, ?2, ?2 FROM stamps s JOIN messages m ON m.id = s.message_id "
          "JOIN webhooks w ON w.account_id = m.account_id AND w.paused = 0 WHERE s.id = ?3 ORDER BY w.id");
  q.Bind(1, eventId).Bind(2, e.time).Bind(3, stampId).Run();
}

std::vector<Delivery> ClaimDeliveries(Connection& c, Time now, Time leaseUntil, int limit) {
  std::vector<std::int64_t> ids;
  {
    Query q(c,
            "SELECT o.id FROM outbox o WHERE o.due <= ?1 AND o.lease_until <= ?1 AND (o.webhook_id IS NULL OR "
            "NOT EXISTS (SELECT 1 FROM outbox p WHERE p.webhook_id = o.webhook_id AND p.stamp_id = o.stamp_id "
            "AND p.id < o.id)) ORDER BY o.id LIMIT ?2");
    q.Bind(1, now).Bind(2, limit);
    while (q.Step()) ids.push_back(q.Int(0));
  }
  std::vector<Delivery> claimed;
  for (std::int64_t id : ids) {
    {
      Query lease(c, "UPDATE outbox SET lease_until = ?, attempts = attempts + 1 WHERE id = ?");
      lease.Bind(1, leaseUntil).Bind(2, id).Run();
    }
    Query q(c,
            "SELECT o.id, o.account_id, a.address, a.notify, a.time_zone, COALESCE(o.webhook_id, 0), "
            "COALESCE(w.url, ''), COALESCE(w.secret, ''), o.attempts, o.created, o.summary, e.id, e.type, e.class, "
            "e.reason, e.time, m.id, m.subject, m.kind, s.address, s.name FROM outbox o "
            "JOIN accounts a ON a.id = o.account_id JOIN events e ON e.id = o.event_id "
            "JOIN stamps s ON s.id = o.stamp_id JOIN messages m ON m.id = s.message_id "
            "LEFT JOIN webhooks w ON w.id = o.webhook_id WHERE o.id = ?");
    q.Bind(1, id);
    if (!q.Step()) continue;
    claimed.push_back(Delivery{q.Int(0),
                               q.Int(1),
                               q.Text(2),
                               q.Text(3),
                               q.Text(4),
                               q.Int(5),
                               q.Text(6),
                               q.Text(7),
                               static_cast<int>(q.Int(8)),
                               q.Int(9),
                               q.Int(10) != 0,
                               q.Int(11),
                               static_cast<int>(q.Int(12)),
                               static_cast<int>(q.Int(13)),
                               q.Text(14),
                               q.Int(15),
                               q.Int(16),
                               q.Text(17),
                               q.Int(18) == 1,
                               q.Text(19),
                               q.Text(20)});
  }
  return claimed;
}

void FinishDelivery(Connection& c, const Delivery& delivery) {
  {
    Query q(c, "DELETE FROM outbox WHERE id = ?");
    q.Bind(1, delivery.id).Run();
  }
  if (delivery.webhookId == 0) return;
  Query q(c, "UPDATE webhooks SET failing_since = 0 WHERE id = ?");
  q.Bind(1, delivery.webhookId).Run();
}

void RetryDelivery(Connection& c, const Delivery& delivery, Time due, bool summary, std::string_view error, Time now) {
  {
    Query q(c, "UPDATE outbox SET due = ?, lease_until = 0, summary = ? WHERE id = ?");
    q.Bind(1, due).Bind(2, summary ? 1 : 0).Bind(3, delivery.id).Run();
  }
  if (delivery.webhookId == 0 || error.empty()) return;
  Query q(c,
          "UPDATE webhooks SET last_error = ?, failing_since = CASE WHEN failing_since = 0 THEN ? "
          "ELSE failing_since END WHERE id = ?");
  q.Bind(1, error).Bind(2, now).Bind(3, delivery.webhookId).Run();
}

void PauseWebhook(Connection& c, std::int64_t webhookId, std::string_view error) {
  {
    Query q(c, "UPDATE webhooks SET paused = 1, last_error = ? WHERE id = ?");
    q.Bind(1, error).Bind(2, webhookId).Run();
  }
  Query q(c, "DELETE FROM outbox WHERE webhook_id = ?");
  q.Bind(1, webhookId).Run();
}

std::optional<Webhook> AddWebhook(Connection& c, std::int64_t accountId, std::string_view url, std::string_view secret,
                                  Time now) {
  Query q(c, "INSERT INTO webhooks (account_id, url, secret, created) VALUES (?, ?, ?, ?)");
  q.Bind(1, accountId).Bind(2, url).Bind(3, secret).Bind(4, now).Run();
  return Webhook{c.LastInsertId(), accountId, std::string(url), std::string(secret), now, 0, "", false};
}

std::vector<Webhook> ListWebhooks(Connection& c, std::int64_t accountId) {
  std::vector<Webhook> webhooks;
  Query q(c, std::string(kWebhookColumns) + "WHERE account_id = ? ORDER BY id");
  q.Bind(1, accountId);
  while (q.Step()) webhooks.push_back(ReadWebhook(q));
  return webhooks;
}

bool RemoveWebhook(Connection& c, std::int64_t accountId, std::int64_t webhookId) {
  Query q(c, "DELETE FROM webhooks WHERE account_id = ? AND id = ?");
  q.Bind(1, accountId).Bind(2, webhookId).Run();
  return c.Changes() > 0;
}

bool ResumeWebhook(Connection& c, std::int64_t accountId, std::int64_t webhookId) {
  Query q(c, "UPDATE webhooks SET paused = 0, failing_since = 0 WHERE account_id = ? AND id = ?");
  q.Bind(1, accountId).Bind(2, webhookId).Run();
  return c.Changes() > 0;
}

}  // namespace mailwarden::store::sqlite

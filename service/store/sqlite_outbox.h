#pragma once
// The outbox and the senders' notice choices on the embedded engine: the
// statements, each in the caller's transaction.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "service/store/sqlite_db.h"
#include "service/store/store.h"

namespace mailwarden::store::sqlite {

// Queues what the new event (row eventId of the stamp) is to be told as.
void QueueNotices(Connection& c, std::int64_t stampId, std::int64_t eventId, const NewEvent& e, bool mail);

std::vector<Delivery> ClaimDeliveries(Connection& c, Time now, Time leaseUntil, int limit);
void FinishDelivery(Connection& c, const Delivery& delivery);
void RetryDelivery(Connection& c, const Delivery& delivery, Time due, bool summary, std::string_view error, Time now);
void PauseWebhook(Connection& c, std::int64_t webhookId, std::string_view error);

std::optional<Webhook> AddWebhook(Connection& c, std::int64_t accountId, std::string_view url, std::string_view secret,
                                  Time now);
std::vector<Webhook> ListWebhooks(Connection& c, std::int64_t accountId);
bool RemoveWebhook(Connection& c, std::int64_t accountId, std::int64_t webhookId);
bool ResumeWebhook(Connection& c, std::int64_t accountId, std::int64_t webhookId);

}  // namespace mailwarden::store::sqlite

#pragma once
// The outbox and the senders' notice choices on PostgreSQL: the prepared
// statements, and the store's calls, each in the caller's transaction.
#include <pqxx/pqxx>
#include <utility>
#include <vector>

#include "service/store/store.h"

namespace mailwarden::store::postgres {

const std::vector<std::pair<const char*, const char*>>& OutboxStatements();

std::vector<Delivery> ClaimDeliveries(pqxx::transaction_base& work, Time now, Time leaseUntil, int limit);
Webhook ReadWebhook(const pqxx::row& row);

}  // namespace mailwarden::store::postgres

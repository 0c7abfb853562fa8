#include "service/store/message_filter.h"

namespace mailwarden::store {

namespace {

std::string Number(std::int64_t value) {
  return std::to_string(value);
}

// Whether an event of the message's stamps meets the condition on "e".
std::string AnyEvent(const std::string& condition) {
  return "EXISTS (SELECT 1 FROM stamps s JOIN events e ON e.stamp_id = s.id WHERE s.message_id = messages.id AND " +
         condition + ")";
}

std::string Type(EventType type) {
  return Number(static_cast<int>(type));
}

std::string Class(EventClass eventClass) {
  return Number(static_cast<int>(eventClass));
}

std::string KindIs(bool certified) {
  return "messages.kind " + std::string(certified ? "=" : "<>") + " 1";
}

}  // namespace

std::string ActivitySql() {
  return "COALESCE((SELECT MAX(e.time) FROM stamps s JOIN events e ON e.stamp_id = s.id WHERE s.message_id = "
         "messages.id AND e.class <> " +
         Class(EventClass::kMachine) + "), messages.issued)";
}

std::string FilterSql(const MessageQuery& query) {
  std::string sql;
  const std::string person = "e.class = " + Class(EventClass::kPerson);
  const std::string seen = AnyEvent(person + " AND e.type IN (" + Type(EventType::kImage) + ", " +
                                    Type(EventType::kReceipt) + ", " + Type(EventType::kRead) + ")");
  switch (query.seen) {
    case SeenFilter::kAny:
      break;
    case SeenFilter::kNotOpened:
      sql += " AND NOT " + seen;
      break;
    case SeenFilter::kOpened:
      sql += " AND " + seen;
      break;
    case SeenFilter::kConfirmed:
      sql += " AND " + AnyEvent(person + " AND e.type = " + Type(EventType::kReceipt));
      break;
    case SeenFilter::kRead:
      sql += " AND " + AnyEvent(person + " AND e.type = " + Type(EventType::kRead));
      break;
  }
  switch (query.kind) {
    case KindFilter::kAny:
      break;
    case KindFilter::kAutomatic:
      sql += " AND " + KindIs(false) + " AND " + AnyEvent("e.type = " + Type(EventType::kImage));
      break;
    case KindFilter::kRequestReceipt:
      sql += " AND " + KindIs(false) + " AND " + AnyEvent("e.type = " + Type(EventType::kReceipt));
      break;
    case KindFilter::kGuaranteed:
      sql += " AND " + KindIs(true);
      break;
  }
  if (query.issuedFrom > 0) sql += " AND messages.issued >= " + Number(query.issuedFrom);
  if (query.issuedUntil > 0) sql += " AND messages.issued < " + Number(query.issuedUntil);
  if (query.order == MessageOrder::kNewest && query.beforeId > 0) sql += " AND id < " + Number(query.beforeId);
  return sql;
}

std::string ListSql(const MessageQuery& query, const std::string& searchSql) {
  std::string sql =
      "SELECT * FROM (SELECT id, kind, subject, sent_date, sent_time, issued, content IS NOT NULL AS has_content, " +
      ActivitySql() + " AS activity FROM messages WHERE account_id = " + Number(query.accountId) + searchSql +
      FilterSql(query) + ") listed";
  if (query.order == MessageOrder::kLastActivity && query.beforeId > 0) {
    sql += " WHERE activity < " + Number(query.activityBefore) + " OR (activity = " + Number(query.activityBefore) +
           " AND id < " + Number(query.beforeId) + ")";
  }
  sql += query.order == MessageOrder::kLastActivity ? " ORDER BY activity DESC, id DESC" : " ORDER BY id DESC";
  // As SQLite's LIMIT takes it: below 0 no limit at all.
  if (query.limit >= 0) sql += " LIMIT " + Number(query.limit);
  return sql;
}

namespace {
constexpr const char* kAccountEvents =
    " FROM messages m JOIN stamps s ON s.message_id = m.id JOIN events e ON e.stamp_id = s.id WHERE m.account_id = ";
}

std::string NewestEventSql(std::int64_t accountId) {
  return "SELECT COALESCE(MAX(e.id), 0)" + std::string(kAccountEvents) + Number(accountId);
}

std::string EventsAfterSql(std::int64_t accountId, std::int64_t afterId, int limit) {
  return "SELECT e.id, m.id" + std::string(kAccountEvents) + Number(accountId) + " AND e.id > " + Number(afterId) +
         " ORDER BY e.id LIMIT " + Number(limit);
}

bool PlainQuery(const MessageQuery& query) {
  return query.seen == SeenFilter::kAny && query.kind == KindFilter::kAny && !query.issuedFrom && !query.issuedUntil &&
         query.order == MessageOrder::kNewest;
}

}  // namespace mailwarden::store

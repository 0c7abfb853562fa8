#pragma once
// The parts of a message query both engines write alike: a message's last
// activity and the list's filters and order, as SQL over the table
// "messages" (the tables "stamps" and "events" have the same columns used
// here in both). Every value in them is a number the query holds, written
// into the text; the search stays a bound parameter of each engine.
#include <string>

#include "service/store/store.h"

namespace mailwarden::store {

// The expression of a message's lastActivity.
std::string ActivitySql();

// " AND ..." for the query's filters and, ordered newest first, its keyset;
// empty when none.
std::string FilterSql(const MessageQuery& query);

// The whole statement listing the messages the query asks for, a page of
// them in its order: id, kind, subject, sent_date, sent_time, issued,
// has_content, activity. searchSql: the engine's " AND ..." for the search
// (empty for none).
std::string ListSql(const MessageQuery& query, const std::string& searchSql);

// The live pages' statements: the newest event id of the account's
// messages (0 for none); the events after one (id, message id), oldest first.
std::string NewestEventSql(std::int64_t accountId);
std::string EventsAfterSql(std::int64_t accountId, std::int64_t afterId, int limit);

// True when the query asks for nothing but the newest of a search.
bool PlainQuery(const MessageQuery& query);

}  // namespace mailwarden::store

#include "service/store/postgres_store.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <map>
#include <set>
#include <utility>

#include "service/store/address_key.h"
#include "service/store/message_filter.h"
#include "service/store/month.h"
#include "service/store/postgres_outbox.h"
#include "service/store/postgres_pool.h"
#include "service/store/postgres_schema.h"
#include "service/store/postgres_text.h"

namespace mailwarden::store {
namespace {

// Every statement the store runs, prepared once on each connection.
const std::vector<std::pair<const char*, std::string>> kStatements = {
    {"find_account",
     "SELECT id, address, password_hash, monthly_credit, codepage, created, addin_key, notify, time_zone FROM accounts "
     "WHERE address = "
     "$1"},
    {"find_account_by_id",
     "SELECT id, address, password_hash, monthly_credit, codepage, created, addin_key, notify, time_zone FROM accounts "
     "WHERE id = $1"},
    {"add_account",
     "INSERT INTO accounts (address, monthly_credit, created) VALUES ($1, $2, $3) ON CONFLICT (address) DO NOTHING "
     "RETURNING id, address, password_hash, monthly_credit, codepage, created, addin_key, notify, time_zone"},
    {"list_accounts",
     "SELECT id, address, password_hash, monthly_credit, codepage, created, addin_key, notify, time_zone FROM accounts "
     "ORDER BY address"},
    {"set_credit", "UPDATE accounts SET monthly_credit = $2 WHERE address = $1"},
    {"set_password", "UPDATE accounts SET password_hash = $2 WHERE address = $1"},
    {"set_codepage", "UPDATE accounts SET codepage = $2 WHERE address = $1"},
    {"set_addin_key", "UPDATE accounts SET addin_key = $2 WHERE address = $1"},
    {"forget_signatures", "DELETE FROM seen_signatures WHERE expires < $1"},
    {"remember_signature",
     "INSERT INTO seen_signatures (signature, expires) VALUES ($1, $2) ON CONFLICT (signature) DO NOTHING"},
    // Events name their stamp without a foreign key (checking one per event
    // halves the rate of image hits recorded), so they go here by hand.
    {"remove_account",
     "WITH gone AS (DELETE FROM events WHERE stamp_id IN (SELECT s.id FROM stamps s "
     "JOIN messages m ON m.id = s.message_id JOIN accounts a ON a.id = m.account_id WHERE a.address = $1)) "
     "DELETE FROM accounts WHERE address = $1"},
    {"credit_left",
     "SELECT a.monthly_credit - coalesce(m.used, 0) FROM accounts a "
     "LEFT JOIN credit_months m ON m.account_id = a.id AND m.month = $2 WHERE a.address = $1"},
    // See the function in the schema: the month's credit is taken under a
    // lock on its row, so processes never together spend more than it has.
    {"issue_stamps",
     "SELECT o_outcome, o_credit_left, o_message_id FROM issue_stamps($1, $2, $3, $4, $5::smallint, $6, $7, $8, $9, "
     "$10, $11, $12, $13, $14, $15, $16)"},
    {"find_stamp",
     "SELECT s.stamp, s.message_id, m.account_id, a.address, s.recipient, s.recipient_name, m.kind, m.subject, "
     "m.issued, m.ip, s.cancelled, m.from_name, m.content, m.is_html, "
     "(SELECT string_agg(DISTINCT e.reason, E'\\n') FROM events e WHERE e.stamp_id = s.id AND e.type = 0 "
     "AND e.class = 0) "
     "FROM stamps s JOIN messages m ON m.id = s.message_id JOIN accounts a ON a.id = m.account_id "
     "WHERE s.stamp = $1"},
    {"lock_stamp", "SELECT cancelled FROM stamps WHERE stamp = $1 FOR UPDATE"},
    {"stamp_ids", "SELECT stamp, id FROM stamps WHERE stamp = ANY($1::text[])"},
    // Locks the stamp's row, so of two presses at once the second sees the first's event.
    {"has_event",
     "SELECT EXISTS (SELECT 1 FROM events e WHERE e.stamp_id = s.id AND e.type = $2 AND e.class = $3) "
     "FROM stamps s WHERE s.stamp = $1 FOR UPDATE"},
    {"add_service_key", "INSERT INTO service_keys (name, value) VALUES ($1, $2) ON CONFLICT (name) DO NOTHING"},
    {"service_key", "SELECT value FROM service_keys WHERE name = $1"},
    {"record_event",
     "SELECT record_event($1, $2::smallint, $3::smallint, $4::bigint, $5::text, $6::text, $7::integer, $8::integer, "
     "$9::bigint, $10::text, $11::boolean, $12::boolean)"},
    {"cancel_stamp", "UPDATE stamps SET cancelled = true WHERE stamp = $1"},
    // A certified message whose every delivery is cancelled is not kept.
    {"drop_cancelled_content",
     "UPDATE messages SET content = NULL, received_content = NULL WHERE id = $1 AND content IS NOT NULL "
     "AND NOT EXISTS (SELECT 1 FROM stamps WHERE message_id = $1 AND NOT cancelled)"},
    {"expire_content",
     "UPDATE messages SET content = NULL, received_content = NULL WHERE issued < $1 AND content IS NOT NULL"},
    {"keep_received",
     "UPDATE messages SET received = $2, received_content = CASE WHEN content IS NULL THEN NULL ELSE $3 END "
     "WHERE id = $1"},
    {"kept_texts",
     "SELECT m.id, m.received, m.received_content FROM messages m JOIN accounts a ON a.id = m.account_id "
     "WHERE a.address = $1 AND m.received IS NOT NULL ORDER BY m.id"},
    {"rewrite_text",
     "UPDATE messages SET subject = $2, from_name = $3, search = $4, received = NULL, received_content = NULL, "
     "content = CASE WHEN content IS NULL OR $5::text IS NULL THEN content ELSE $5::text END WHERE id = $1"},
    {"rewrite_recipient",
     "UPDATE stamps SET recipient = $3, recipient_name = $4 WHERE message_id = $1 AND position = $2"},
    {"purge_messages",
     "WITH gone AS (DELETE FROM events WHERE stamp_id IN (SELECT s.id FROM stamps s "
     "JOIN messages m ON m.id = s.message_id WHERE m.issued < $1)) "
     "DELETE FROM messages WHERE issued < $1"},
    {"list_messages",
     "SELECT id, kind, subject, sent_date, sent_time, issued, content IS NOT NULL, " + ActivitySql() +
         " FROM messages WHERE account_id = $1 AND id < $2 AND strpos(search, $3) > 0 ORDER BY id DESC LIMIT $4"},
    {"get_message", "SELECT id, kind, subject, sent_date, sent_time, issued, content IS NOT NULL, " + ActivitySql() +
                        " FROM messages WHERE account_id = $1 AND id = $2"},
    {"message_stamps",
     "SELECT message_id, stamp, recipient, recipient_name, cancelled FROM stamps "
     "WHERE message_id = ANY($1::bigint[]) ORDER BY message_id, position"},
    // The newest $2 events of each stamp (all for a negative $2); of the
    // stamp at position $3 only those before event $4.
    {"message_events",
     "SELECT s.stamp, e.id, e.type, e.class, e.time, e.ip, e.user_agent, e.reason, e.count FROM stamps s "
     "CROSS JOIN LATERAL (SELECT * FROM events e WHERE e.stamp_id = s.id AND (s.position <> $3::integer OR e.id < "
     "$4::bigint) "
     "ORDER BY e.id DESC LIMIT CASE WHEN $2::integer < 0 THEN NULL ELSE $2::integer END) e "
     "WHERE s.message_id = ANY($1::bigint[]) ORDER BY e.id"},
    {"message_tallies",
     "SELECT s.stamp, e.type, e.class, e.reason, MIN(e.time), MAX(e.time), SUM(e.count), COUNT(*), MIN(e.id) "
     "FROM stamps s JOIN events e ON e.stamp_id = s.id WHERE s.message_id = ANY($1::bigint[]) "
     "GROUP BY s.stamp, e.type, e.class, e.reason ORDER BY MIN(e.id)"},
    {"create_session",
     "INSERT INTO sessions (token_hash, account_id, csrf, last_seen, created, marker_hash) "
     "VALUES ($1, $2, $3, $4, $5, NULLIF($6, ''))"},
    {"touch_session",
     "UPDATE sessions SET last_seen = $3 WHERE token_hash = $1 AND last_seen >= $2 RETURNING account_id, csrf, "
     "created"},
    {"marked_account", "SELECT account_id FROM sessions WHERE marker_hash = $1 AND last_seen >= $2 AND created >= $3"},
    {"end_sessions", "DELETE FROM sessions WHERE account_id = $1 AND token_hash <> $2"},
    {"purge_sessions", "DELETE FROM sessions WHERE last_seen < $1 OR created < $2"},
    {"delete_session", "DELETE FROM sessions WHERE token_hash = $1"},
    // Earlier windows of the same key go with the count of the new one, and
    // every key's windows of days ago ($4; keys seen once would stay for good).
    {"count_attempt",
     "WITH gone AS (DELETE FROM attempts WHERE (kind = $1 AND key = $2 AND window_start < $3) "
     "OR window_start < $4) "
     "INSERT INTO attempts (kind, key, window_start, count) VALUES ($1, $2, $3, 1) "
     "ON CONFLICT (kind, key, window_start) DO UPDATE SET count = attempts.count + 1 RETURNING count"},
    // Several keys in one statement, as above.
    {"count_attempts",
     "WITH gone AS (DELETE FROM attempts WHERE ((kind, key) IN (SELECT * FROM unnest($1::text[], $2::text[])) "
     "AND window_start < $3) OR window_start < $4) "
     "INSERT INTO attempts (kind, key, window_start, count) SELECT k.kind, k.key, $3, 1 "
     "FROM unnest($1::text[], $2::text[]) AS k (kind, key) "
     "ON CONFLICT (kind, key, window_start) DO UPDATE SET count = attempts.count + 1 RETURNING kind, key, count"},
    {"attempt_count", "SELECT count FROM attempts WHERE kind = $1 AND key = $2 AND window_start = $3"},
    {"forget_attempts", "DELETE FROM attempts WHERE kind = $1"},
    {"healthy", "SELECT 1"},
};

std::string Text(std::string_view text) {
  return ValidText(text);
}
std::string Address(std::string_view address) {
  return AddressKey(ValidText(address));
}

// A stamp as looked up: one that is not valid text matches none, rather
// than the stamp it would be with the bad bytes left out.
std::string StampKey(std::string_view stamp) {
  std::string key = ValidText(stamp);
  return key == stamp ? key : std::string();
}

// What the sender's pages search: subject and every recipient, lower case.
std::string SearchText(const NewMessage& message) {
  std::string search = message.subject;
  for (const auto& recipient : message.recipients) search += "\n" + recipient.address + "\n" + recipient.name;
  return Address(search);
}

Account ReadAccount(const pqxx::row& row) {
  Account account;
  account.id = row[0].as<std::int64_t>();
  account.address = row[1].as<std::string>();
  account.passwordHash = row[2].as<std::string>();
  account.monthlyCredit = row[3].as<int>();
  account.codepage = row[4].as<int>();
  account.created = row[5].as<Time>();
  account.addinKey = row[6].as<std::string>();
  account.notify = row[7].as<std::string>();
  account.timeZone = row[8].as<std::string>();
  return account;
}

// A find_stamp row.
Certified ReadStampRow(const pqxx::row& row) {
  Certified found;
  StampInfo& info = found.info;
  info.stamp = row[0].as<std::string>();
  info.messageId = row[1].as<std::int64_t>();
  info.accountId = row[2].as<std::int64_t>();
  info.sender = row[3].as<std::string>();
  info.recipient = row[4].as<std::string>();
  info.recipientName = row[5].as<std::string>();
  info.kind = row[6].as<int>() == 1 ? Kind::kCertified : Kind::kTracked;
  info.subject = row[7].as<std::string>();
  info.issued = row[8].as<Time>();
  info.issuerIp = row[9].as<std::string>();
  info.cancelled = row[10].as<bool>();
  info.senderName = row[11].as<std::string>();
  info.contentKept = !row[12].is_null();
  if (!row[14].is_null()) {
    std::string_view reasons = row[14].c_str();
    while (!reasons.empty()) {
      const auto end = reasons.find('\n');
      info.openReasons.emplace_back(reasons.substr(0, end));
      reasons = end == std::string_view::npos ? std::string_view() : reasons.substr(end + 1);
    }
  }
  found.fromName = row[11].as<std::string>();
  if (!row[12].is_null()) found.content = row[12].as<std::string>();
  found.isHtml = row[13].as<bool>();
  found.state = info.kind != Kind::kCertified ? CertifiedState::kNotCertified
                : info.cancelled              ? CertifiedState::kCancelled
                : row[12].is_null()           ? CertifiedState::kExpired
                                              : CertifiedState::kFound;
  return found;
}

MessageView ReadMessageRow(const pqxx::row& row) {
  MessageView view;
  view.id = row[0].as<std::int64_t>();
  view.kind = row[1].as<int>() == 1 ? Kind::kCertified : Kind::kTracked;
  view.subject = row[2].as<std::string>();
  view.sentDate = row[3].as<std::string>();
  view.sentTime = row[4].as<std::string>();
  view.issued = row[5].as<Time>();
  view.hasContent = row[6].as<bool>();
  view.lastActivity = row[7].as<Time>();
  return view;
}

// Bounded as store.h says, a new row queued as its notices; nothing for an unknown stamp.
void AddEvent(pqxx::transaction_base& work, const NewEvent& event, bool mail) {
  const bool wanted = NoticeWanted(event);
  work.exec_prepared("record_event", Text(event.stamp), static_cast<int>(event.type),
                     static_cast<int>(event.eventClass), event.time, Text(event.ip),
                     Text(StoredUserAgent(event.userAgent)), event.count, kMaxEventRows, kAlikeWithin,
                     Text(event.reason), mail && wanted, wanted);
}

constexpr auto kStatement = PostgresPool::Mode::kStatement;
// Counted attempts older than this are forgotten; no window is this long.
constexpr Time kForgetAttemptsAfter = 7LL * 24 * 3600 * 1000000;

// A fresh stamp that meets one issued before is drawn again, this often at most.
constexpr int kStampDraws = 16;

class PostgresStore final : public Store {
 public:
  PostgresStore(const std::string& url, int connections)
      : pool_(url, connections, PostgresPool::Durability::kDurable, Prepare),
        relaxed_(url, std::max(2, connections / 2), PostgresPool::Durability::kRelaxed, Prepare) {
    auto connection = pool_.Connect();
    MigratePostgres(*connection);
  }

  Account AddAccount(std::string_view address, int monthlyCredit, Time now) override {
    Account account;
    bool added = false;
    const std::string lower = Address(address);
    pool_.Transact(
        [&](pqxx::transaction_base& work) {
          pqxx::result result = work.exec_prepared("add_account", lower, monthlyCredit, now);
          added = !result.empty();
          if (added) account = ReadAccount(result[0]);
        },
        kStatement);
    if (!added) throw StoreError("the account " + lower + " exists already");
    return account;
  }

  std::optional<Account> FindAccount(std::string_view address) override {
    return FindOne<Account>("find_account", ReadAccount, Address(address));
  }

  std::optional<Account> FindAccountById(std::int64_t id) override {
    return FindOne<Account>("find_account_by_id", ReadAccount, id);
  }

  std::vector<Account> ListAccounts() override {
    std::vector<Account> accounts;
    pool_.Transact(
        [&](pqxx::transaction_base& work) {
          accounts.clear();
          for (const auto& row : work.exec_prepared("list_accounts")) accounts.push_back(ReadAccount(row));
        },
        kStatement);
    return accounts;
  }

  bool SetMonthlyCredit(std::string_view address, int monthlyCredit) override {
    return Changes("set_credit", Address(address), monthlyCredit);
  }
  bool SetPasswordHash(std::string_view address, std::string_view hash) override {
    return Changes("set_password", Address(address), Text(hash));
  }
  bool SetCodepage(std::string_view address, int codepage) override {
    return Changes("set_codepage", Address(address), codepage);
  }
  bool SetAddinKey(std::string_view address, std::string_view sealedKey) override {
    return Changes("set_addin_key", Address(address), Text(sealedKey));
  }
  bool RemoveAccount(std::string_view address) override { return Changes("remove_account", Address(address)); }

  std::optional<int> CreditLeft(std::string_view address, Time now) override {
    return FindOne<int>(
        "credit_left", [](const pqxx::row& row) { return row[0].as<int>(); }, Address(address), MonthOf(now));
  }

  Issued IssueStamps(const NewMessage& message, int newSenderCredit,
                     const std::function<std::string()>& newStamp) override {
    const std::string sender = Address(message.sender);
    const int month = MonthOf(message.issued);
    const int wanted = static_cast<int>(message.recipients.size());
    std::vector<std::string> addresses, names;
    for (const auto& recipient : message.recipients) {
      addresses.push_back(recipient.address);
      names.push_back(recipient.name);
    }
    const std::string addressArray = TextArray(addresses), nameArray = TextArray(names);
    const bool certified = message.kind == Kind::kCertified;
    const std::string content = Text(message.content);
    const char* kept = certified ? content.c_str() : nullptr;  // NULL: no content
    const std::string subject = Text(message.subject), search = SearchText(message);
    // The rare new stamp that meets an issued one runs the whole issue again
    // with new ones.
    for (int draw = 1;; ++draw) {
      Issued issued;
      for (int i = 0; i < wanted; ++i) issued.stamps.push_back(newStamp());
      const std::string stampArray = TextArray(issued.stamps);
      bool clash = false;
      pool_.Transact(
          [&](pqxx::transaction_base& work) {
            try {
              const pqxx::row row = work.exec_prepared1(
                  "issue_stamps", sender, newSenderCredit, message.issued, month, certified ? 1 : 0, subject,
                  Text(message.sentDate), Text(message.sentTime), Text(message.ip), Text(message.fromName), kept,
                  message.isHtml, search, stampArray, addressArray, nameArray);
              const int outcome = row[0].as<int>();
              issued.outcome = outcome == 0   ? IssueOutcome::kIssued
                               : outcome == 1 ? IssueOutcome::kUnknownSender
                                              : IssueOutcome::kInsufficientCredit;
              issued.creditLeft = row[1].as<int>();
              issued.messageId = row[2].as<std::int64_t>();
            } catch (const pqxx::sql_error& e) {
              if (e.sqlstate() != "MW001") throw;
              clash = true;
            }
          },
          kStatement);
      if (!clash) {
        if (issued.outcome != IssueOutcome::kIssued) issued.stamps.clear();
        return issued;
      }
      if (draw == kStampDraws) throw StoreError("new stamps kept meeting issued ones");
    }
  }

  std::optional<StampInfo> FindStamp(std::string_view stamp) override {
    return FindOne<StampInfo>(
        "find_stamp", [](const pqxx::row& row) { return ReadStampRow(row).info; }, StampKey(stamp));
  }

  // Each event through record_event, which folds it into one alike or past
  // the stamp's cap. In stamp order: of two processes writing batches, each
  // locks the stamps' rows in the same order.
  void RecordEvents(const std::vector<NewEvent>& events) override {
    if (events.empty()) return;
    std::vector<const NewEvent*> ordered;
    for (const auto& event : events) ordered.push_back(&event);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const NewEvent* a, const NewEvent* b) { return a->stamp < b->stamp; });
    relaxed_.Transact([&](pqxx::transaction_base& work) {
      for (const NewEvent* event : ordered) AddEvent(work, *event, mailNotices_);
    });
  }

  bool RecordOnce(const NewEvent& event) override {
    bool recorded = false;
    pool_.Transact([&](pqxx::transaction_base& work) {
      recorded = false;
      pqxx::result found = work.exec_prepared("has_event", StampKey(event.stamp), static_cast<int>(event.type),
                                              static_cast<int>(event.eventClass));
      if (found.empty() || found[0][0].as<bool>()) return;
      AddEvent(work, event, mailNotices_);
      recorded = true;
    });
    return recorded;
  }

  std::string ServiceKey(std::string_view name, std::string_view fresh) override {
    std::string value;
    pool_.Transact([&](pqxx::transaction_base& work) {
      work.exec_prepared("add_service_key", Text(name), Text(fresh));
      value = work.exec_prepared1("service_key", Text(name))[0].as<std::string>();
    });
    return value;
  }

  Certified ReadCertified(const NewEvent& read) override {
    Certified certified;
    pool_.Transact([&](pqxx::transaction_base& work) {
      pqxx::result result = work.exec_prepared("find_stamp", StampKey(read.stamp));
      certified = result.empty() ? Certified{} : ReadStampRow(result[0]);
      if (certified.state == CertifiedState::kFound) {
        AddEvent(work, read, mailNotices_);
      } else {
        certified.fromName.clear();
        certified.content.clear();
        certified.isHtml = false;
      }
    });
    return certified;
  }

  CertifiedState Cancel(const NewEvent& cancel) override {
    CertifiedState state = CertifiedState::kUnknown;
    pool_.Transact([&](pqxx::transaction_base& work) {
      const std::string stamp = StampKey(cancel.stamp);
      // Locked first: of two cancellations at once, one finds it cancelled.
      pqxx::result locked = work.exec_prepared("lock_stamp", stamp);
      pqxx::result result = work.exec_prepared("find_stamp", stamp);
      if (locked.empty() || result.empty()) {
        state = CertifiedState::kUnknown;
        return;
      }
      const Certified found = ReadStampRow(result[0]);
      state = found.state == CertifiedState::kExpired ? CertifiedState::kFound : found.state;
      if (state != CertifiedState::kFound) return;
      work.exec_prepared("cancel_stamp", stamp);
      AddEvent(work, cancel, mailNotices_);
      work.exec_prepared("drop_cancelled_content", found.info.messageId);
    });
    return state;
  }

  void KeepReceived(std::int64_t messageId, std::string_view received,
                    std::optional<std::string_view> content) override {
    const std::string kept = content ? Text(*content) : std::string();
    Changes("keep_received", messageId, Text(received), content ? kept.c_str() : nullptr);
  }

  std::vector<KeptText> KeptTexts(std::string_view address) override {
    std::vector<KeptText> kept;
    pool_.Transact(
        [&](pqxx::transaction_base& work) {
          kept.clear();
          for (const pqxx::row& row : work.exec_prepared("kept_texts", Address(address))) {
            kept.push_back(KeptText{row[0].as<std::int64_t>(), row[1].as<std::string>(),
                                    row[2].is_null() ? std::nullopt : std::optional(row[2].as<std::string>())});
          }
        },
        kStatement);
    return kept;
  }

  void RewriteText(std::int64_t messageId, const TextReadAgain& text) override {
    NewMessage searched;
    searched.subject = text.subject;
    searched.recipients = text.recipients;
    const std::string content = text.content ? Text(*text.content) : std::string();
    pool_.Transact([&](pqxx::transaction_base& work) {
      work.exec_prepared("rewrite_text", messageId, Text(text.subject), Text(text.fromName), SearchText(searched),
                         text.content ? content.c_str() : nullptr);
      for (std::size_t i = 0; i < text.recipients.size(); ++i) {
        work.exec_prepared("rewrite_recipient", messageId, static_cast<int>(i), Text(text.recipients[i].address),
                           Text(text.recipients[i].name));
      }
    });
  }

  int ExpireContent(Time issuedBefore) override { return Changes("expire_content", issuedBefore); }

  int PurgeBefore(Time before) override { return Changes("purge_messages", before); }

  std::vector<MessageView> ListMessages(const MessageQuery& query) override {
    std::vector<MessageView> messages;
    const std::int64_t before = query.beforeId > 0 ? query.beforeId : std::numeric_limits<std::int64_t>::max();
    // As SQLite's LIMIT takes it: below 0 no limit at all.
    const std::int64_t limit = query.limit < 0 ? std::numeric_limits<std::int64_t>::max() : query.limit;
    pool_.Transact([&](pqxx::transaction_base& work) {
      messages.clear();
      // The filters' statement is made for the query; the plain list is prepared.
      const pqxx::result rows =
          PlainQuery(query) ? work.exec_prepared("list_messages", query.accountId, before, Address(query.search), limit)
          : query.search.empty()
              ? work.exec(ListSql(query, ""))
              : work.exec_params(ListSql(query, " AND strpos(search, $1) > 0"), Address(query.search));
      for (const auto& row : rows) messages.push_back(ReadMessageRow(row));
      AddRecipients(work, messages, query.events);
    });
    return messages;
  }

  std::optional<MessageView> GetMessage(std::int64_t accountId, std::int64_t messageId,
                                        const TimelinePage& events) override {
    std::optional<MessageView> message;
    pool_.Transact([&](pqxx::transaction_base& work) {
      message.reset();
      pqxx::result result = work.exec_prepared("get_message", accountId, messageId);
      if (result.empty()) return;
      std::vector<MessageView> one = {ReadMessageRow(result[0])};
      AddRecipients(work, one, events);
      message = std::move(one.front());
    });
    return message;
  }

  void CreateSession(std::string_view tokenHash, const Session& session) override {
    pool_.Transact(
        [&](pqxx::transaction_base& work) {
          work.exec_prepared("create_session", Text(tokenHash), session.accountId, Text(session.csrf), session.lastSeen,
                             session.created, Text(session.markerHash));
        },
        kStatement);
  }

  std::optional<Session> TouchSession(std::string_view tokenHash, Time idleSince, Time now) override {
    std::optional<Session> session;
    const std::string token = Text(tokenHash);
    relaxed_.Transact(
        [&](pqxx::transaction_base& work) {
          session.reset();
          pqxx::result result = work.exec_prepared("touch_session", token, idleSince, now);
          if (result.empty()) return;
          session = Session{
              result[0][0].as<std::int64_t>(), result[0][1].as<std::string>(), now, result[0][2].as<Time>(), {}};
        },
        kStatement);
    return session;
  }

  void DeleteSession(std::string_view tokenHash) override { Changes("delete_session", Text(tokenHash)); }

  bool RememberSignature(std::string_view signature, Time expires, Time now) override {
    // The expired ones go first, in a statement of their own: a statement
    // does not see what its own sub-statements deleted.
    bool added = false;
    pool_.Transact(
        [&](pqxx::transaction_base& work) {
          work.exec_prepared("forget_signatures", now);
          added = work.exec_prepared("remember_signature", Text(signature), expires).affected_rows() > 0;
        },
        kStatement);
    return added;
  }

  std::optional<std::int64_t> MarkedAccount(std::string_view markerHash, Time idleSince, Time createdSince) override {
    return FindOne<std::int64_t>(
        "marked_account", [](const pqxx::row& row) { return row[0].as<std::int64_t>(); }, Text(markerHash), idleSince,
        createdSince);
  }

  void EndSessions(std::int64_t accountId, std::string_view keepTokenHash) override {
    Changes("end_sessions", accountId, Text(keepTokenHash));
  }

  int PurgeSessions(Time idleSince, Time createdSince) override {
    return Changes("purge_sessions", idleSince, createdSince);
  }

  int CountAttempt(std::string_view kind, std::string_view key, Time windowStart, Time /*now*/) override {
    int count = 0;
    relaxed_.Transact(
        [&](pqxx::transaction_base& work) {
          count = work.exec_prepared1("count_attempt", Text(kind), Text(key), windowStart,
                                      windowStart - kForgetAttemptsAfter)[0]
                      .as<int>();
        },
        kStatement);
    return count;
  }

  std::vector<int> CountAttempts(const std::vector<std::pair<std::string, std::string>>& kindsAndKeys, Time windowStart,
                                 Time now) override {
    std::vector<std::string> kinds, keys;
    std::set<std::pair<std::string, std::string>> distinct;
    for (const auto& [kind, key] : kindsAndKeys) {
      kinds.push_back(Text(kind));
      keys.push_back(Text(key));
      distinct.emplace(kinds.back(), keys.back());
    }
    // One statement may not count the same row twice.
    if (distinct.size() != kindsAndKeys.size()) return Store::CountAttempts(kindsAndKeys, windowStart, now);
    std::map<std::pair<std::string, std::string>, int> counted;
    relaxed_.Transact(
        [&](pqxx::transaction_base& work) {
          counted.clear();
          for (const auto& row : work.exec_prepared("count_attempts", TextArray(kinds), TextArray(keys), windowStart,
                                                    windowStart - kForgetAttemptsAfter)) {
            counted[{row[0].as<std::string>(), row[1].as<std::string>()}] = row[2].as<int>();
          }
        },
        kStatement);
    std::vector<int> counts;
    for (size_t i = 0; i < kinds.size(); ++i) counts.push_back(counted[{kinds[i], keys[i]}]);
    return counts;
  }

  std::vector<int> AttemptCounts(const std::vector<std::pair<std::string, std::string>>& kindsAndKeys,
                                 Time windowStart) override {
    std::vector<int> counts;
    relaxed_.Transact(
        [&](pqxx::transaction_base& work) {
          counts.clear();
          for (const auto& [kind, key] : kindsAndKeys) {
            pqxx::result row = work.exec_prepared("attempt_count", Text(kind), Text(key), windowStart);
            counts.push_back(row.empty() ? 0 : row[0][0].as<int>());
          }
        },
        kStatement);
    return counts;
  }

  void ForgetAttempts(std::string_view kind) override { Changes("forget_attempts", Text(kind)); }

  std::int64_t NewestEventId(std::int64_t accountId) override {
    std::int64_t newest = 0;
    pool_.Transact(
        [&](pqxx::transaction_base& work) { newest = work.exec1(NewestEventSql(accountId))[0].as<std::int64_t>(); },
        kStatement);
    return newest;
  }

  std::vector<LiveEvent> EventsAfter(std::int64_t accountId, std::int64_t afterId, int limit) override {
    std::vector<LiveEvent> events;
    pool_.Transact(
        [&](pqxx::transaction_base& work) {
          events.clear();
          for (const auto& row : work.exec(EventsAfterSql(accountId, afterId, limit)))
            events.push_back(LiveEvent{row[0].as<std::int64_t>(), row[1].as<std::int64_t>()});
        },
        kStatement);
    return events;
  }

  bool Healthy() override {
    try {
      pool_.Transact([](pqxx::transaction_base& work) { work.exec_prepared1("healthy"); }, kStatement);
      return true;
    } catch (const StoreError&) {
      return false;
    }
  }

  void EnableMailNotices(bool on) override { mailNotices_ = on; }

  std::vector<Delivery> ClaimDeliveries(Time now, Time leaseUntil, int limit) override {
    std::vector<Delivery> claimed;
    pool_.Transact(
        [&](pqxx::transaction_base& work) { claimed = postgres::ClaimDeliveries(work, now, leaseUntil, limit); });
    return claimed;
  }

  void FinishDelivery(const Delivery& delivery, Time /*now*/) override {
    pool_.Transact([&](pqxx::transaction_base& work) {
      work.exec_prepared("finish_delivery", delivery.id);
      if (delivery.webhookId) work.exec_prepared("webhook_working", delivery.webhookId);
    });
  }

  void RetryDelivery(const Delivery& delivery, Time due, bool summary, std::string_view error, Time now) override {
    pool_.Transact([&](pqxx::transaction_base& work) {
      work.exec_prepared("retry_delivery", delivery.id, due, summary);
      if (delivery.webhookId && !error.empty())
        work.exec_prepared("webhook_failing", delivery.webhookId, Text(error), now);
    });
  }

  void PauseWebhook(std::int64_t webhookId, std::string_view error) override {
    pool_.Transact([&](pqxx::transaction_base& work) {
      work.exec_prepared("pause_webhook", webhookId, Text(error));
      work.exec_prepared("drop_webhook_deliveries", webhookId);
    });
  }

  bool SetNotify(std::string_view address, std::string_view notify, std::string_view timeZone) override {
    return Changes("set_notify", Address(address), Text(notify), Text(timeZone)) > 0;
  }

  std::optional<Webhook> AddWebhook(std::string_view address, std::string_view url, std::string_view secret,
                                    Time now) override {
    return FindOne<Webhook>("add_webhook", postgres::ReadWebhook, Address(address), Text(url), Text(secret), now);
  }

  std::vector<Webhook> ListWebhooks(std::int64_t accountId) override {
    std::vector<Webhook> webhooks;
    pool_.Transact(
        [&](pqxx::transaction_base& work) {
          webhooks.clear();
          for (const auto& row : work.exec_prepared("list_webhooks", accountId))
            webhooks.push_back(postgres::ReadWebhook(row));
        },
        kStatement);
    return webhooks;
  }

  bool RemoveWebhook(std::int64_t accountId, std::int64_t webhookId) override {
    return Changes("remove_webhook", accountId, webhookId) > 0;
  }

  bool ResumeWebhook(std::int64_t accountId, std::int64_t webhookId) override {
    return Changes("resume_webhook", accountId, webhookId) > 0;
  }

 private:
  // The first row of one prepared statement, read; nothing without a row.
  template <typename T, typename Read, typename... Args>
  std::optional<T> FindOne(const char* statement, Read read, const Args&... args) {
    std::optional<T> found;
    pool_.Transact(
        [&](pqxx::transaction_base& work) {
          pqxx::result result = work.exec_prepared(statement, args...);
          found.reset();
          if (!result.empty()) found = read(result[0]);
        },
        kStatement);
    return found;
  }

  // Runs one prepared statement on its own; how many rows it touched.
  template <typename... Args>
  int Changes(const char* statement, const Args&... args) {
    int changed = 0;
    pool_.Transact(
        [&](pqxx::transaction_base& work) {
          changed = static_cast<int>(work.exec_prepared(statement, args...).affected_rows());
        },
        kStatement);
    return changed;
  }

  // Fills in the recipients of the messages, a page of each one's timeline
  // and the totals of all of it, in three statements for all of them.
  void AddRecipients(pqxx::transaction_base& work, std::vector<MessageView>& messages, const TimelinePage& page) {
    if (messages.empty()) return;
    std::vector<std::int64_t> ids;
    std::map<std::int64_t, MessageView*> byId;
    for (auto& message : messages) {
      ids.push_back(message.id);
      byId[message.id] = &message;
    }
    const std::string idArray = NumberArray(ids);
    std::map<std::string, RecipientView*> byStamp;
    for (const auto& row : work.exec_prepared("message_stamps", idArray)) {
      MessageView* message = byId.at(row[0].as<std::int64_t>());
      RecipientView& recipient = message->recipients.emplace_back();
      recipient.stamp = row[1].as<std::string>();
      recipient.address = row[2].as<std::string>();
      recipient.name = row[3].as<std::string>();
      recipient.cancelled = row[4].as<bool>();
    }
    for (auto& message : messages) {
      for (auto& recipient : message.recipients) byStamp[recipient.stamp] = &recipient;
    }
    const std::int64_t position = static_cast<std::int64_t>(page.recipient) - 1;
    const std::int64_t before = page.before > 0 ? page.before : std::numeric_limits<std::int64_t>::max();
    for (const auto& row : work.exec_prepared("message_events", idArray, page.limit, position, before)) {
      auto found = byStamp.find(row[0].as<std::string>());
      if (found == byStamp.end()) continue;
      Event& event = found->second->events.emplace_back();
      event.id = row[1].as<std::int64_t>();
      event.type = static_cast<EventType>(row[2].as<int>());
      event.eventClass = static_cast<EventClass>(row[3].as<int>());
      event.time = row[4].as<Time>();
      event.ip = row[5].as<std::string>();
      event.userAgent = row[6].as<std::string>();
      event.reason = row[7].as<std::string>();
      event.count = row[8].as<int>();
    }
    for (const auto& row : work.exec_prepared("message_tallies", idArray)) {
      auto found = byStamp.find(row[0].as<std::string>());
      if (found == byStamp.end()) continue;
      EventTally& tally = found->second->tallies.emplace_back();
      tally.type = static_cast<EventType>(row[1].as<int>());
      tally.eventClass = static_cast<EventClass>(row[2].as<int>());
      tally.reason = row[3].as<std::string>();
      tally.first = row[4].as<Time>();
      tally.last = row[5].as<Time>();
      tally.count = row[6].as<int>();
      tally.rows = row[7].as<int>();
      tally.firstId = row[8].as<std::int64_t>();
    }
  }

  static void Prepare(pqxx::connection& connection) {
    for (const auto& [name, sql] : kStatements) connection.prepare(name, sql);
    for (const auto& [name, sql] : postgres::OutboxStatements()) connection.prepare(name, sql);
  }

  std::atomic<bool> mailNotices_{false};
  PostgresPool pool_;
  PostgresPool relaxed_;  // for what need not wait for the disk
};

}  // namespace

bool IsPostgresUrl(std::string_view url) {
  return url.starts_with("postgresql://") || url.starts_with("postgres://") ||
         (url.find('=') != std::string_view::npos && !url.starts_with("sqlite:"));
}

std::unique_ptr<Store> OpenPostgresStore(const std::string& url, int connections) {
  return std::make_unique<PostgresStore>(url, connections);
}

}  // namespace mailwarden::store

#include "service/store/sqlite_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "service/store/address_key.h"
#include "service/store/message_filter.h"
#include "service/store/month.h"
#include "service/store/sqlite_db.h"
#include "service/store/sqlite_outbox.h"
#include "service/store/sqlite_schema.h"

namespace mailwarden::store {
namespace {

using sqlite::Connection;
using sqlite::InTransaction;
using sqlite::Query;

constexpr int kReaders = 4;
// A fresh stamp that collides with one issued before is drawn again, this often at most.
constexpr int kStampDraws = 16;
// Counted attempts older than this are forgotten; no window is this long.
constexpr Time kForgetAttemptsAfter = 7LL * 24 * 3600 * 1000000;

void Configure(Connection& connection, bool file) {
  if (file) connection.Exec("PRAGMA journal_mode = WAL");
  // In WAL mode a commit survives the process being killed; NORMAL leaves
  // the fsync to the checkpoints.
  connection.Exec("PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON; PRAGMA temp_store = MEMORY");
}

Account ReadAccount(const Query& q) {
  return Account{q.Int(0),  q.Text(1), q.Text(2), static_cast<int>(q.Int(3)), static_cast<int>(q.Int(4)), q.Int(5),
                 q.Text(6), q.Text(7), q.Text(8)};
}

constexpr const char* kAccountColumns =
    "SELECT id, address, password_hash, monthly_credit, codepage, created, addin_key, notify, time_zone FROM accounts ";

std::optional<Account> AccountByAddress(Connection& c, std::string_view address) {
  Query q(c, std::string(kAccountColumns) + "WHERE address = ?");
  q.Bind(1, AddressKey(address));
  if (!q.Step()) return std::nullopt;
  return ReadAccount(q);
}

int Used(Connection& c, std::int64_t accountId, int month) {
  Query q(c, "SELECT used FROM credit_used WHERE account_id = ? AND month = ?");
  q.Bind(1, accountId).Bind(2, month);
  return q.Step() ? static_cast<int>(q.Int(0)) : 0;
}

constexpr const char* kStampColumns =
    "SELECT s.stamp, s.message_id, m.account_id, a.address, s.address, s.name, m.kind, m.subject, m.issued, m.ip, "
    "s.cancelled, s.id, m.content IS NOT NULL, m.from_name, m.content, m.is_html, "
    "(SELECT group_concat(reason, char(10)) FROM (SELECT DISTINCT reason FROM events "
    "WHERE stamp_id = s.id AND type = 0 AND class = 0)) "
    "FROM stamps s JOIN messages m ON m.id = s.message_id JOIN accounts a ON a.id = m.account_id WHERE s.stamp = ?";

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    lines.emplace_back(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return lines;
}

StampInfo ReadStampInfo(const Query& q) {
  return StampInfo{q.Text(0),
                   q.Int(1),
                   q.Int(2),
                   q.Text(3),
                   q.Text(4),
                   q.Text(5),
                   q.Int(6) == 1 ? Kind::kCertified : Kind::kTracked,
                   q.Text(7),
                   q.Int(8),
                   q.Text(9),
                   q.Text(13),
                   q.Int(12) != 0,
                   q.Int(10) != 0,
                   SplitLines(q.Text(16))};
}

// In the caller's write transaction; bounded as store.h says. A new row is
// queued in the outbox as its notices.
void RecordEvent(Connection& c, std::int64_t stampId, const NewEvent& e, bool mail) {
  std::int64_t alike = 0;
  {
    Query q(c,
            "SELECT id FROM events WHERE stamp_id = ? AND type = ? AND class = ? AND ip = ? AND time >= ? "
            "ORDER BY id DESC LIMIT 1");
    q.Bind(1, stampId)
        .Bind(2, static_cast<std::int64_t>(e.type))
        .Bind(3, static_cast<std::int64_t>(e.eventClass))
        .Bind(4, e.ip)
        .Bind(5, e.time - kAlikeWithin);
    if (q.Step()) alike = q.Int(0);
  }
  if (!alike) {
    Query rows(c, "SELECT COUNT(*) FROM events WHERE stamp_id = ?");
    rows.Bind(1, stampId);
    if (rows.Step() && rows.Int(0) >= kMaxEventRows) {
      Query q(c, "SELECT id FROM events WHERE stamp_id = ? AND type = ? ORDER BY id DESC LIMIT 1");
      q.Bind(1, stampId).Bind(2, static_cast<std::int64_t>(e.type));
      if (q.Step()) alike = q.Int(0);
    }
  }
  if (alike) {
    Query q(c, "UPDATE events SET count = count + ? WHERE id = ?");
    q.Bind(1, e.count).Bind(2, alike).Run();
    return;
  }
  Query q(c,
          "INSERT INTO events (stamp_id, type, class, time, ip, user_agent, count, reason) "
          "VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
  q.Bind(1, stampId)
      .Bind(2, static_cast<std::int64_t>(e.type))
      .Bind(3, static_cast<std::int64_t>(e.eventClass))
      .Bind(4, e.time)
      .Bind(5, e.ip)
      .Bind(6, StoredUserAgent(e.userAgent))
      .Bind(7, e.count)
      .Bind(8, e.reason)
      .Run();
  sqlite::QueueNotices(c, stampId, c.LastInsertId(), e, mail);
}

// "%", "_" and the escape itself stand for themselves in a search.
std::string LikePattern(std::string_view search) {
  std::string pattern = "%";
  for (char c : search) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern + "%";
}

// The recipients with a page of each one's timeline and the totals of all of it.
std::vector<RecipientView> Recipients(Connection& c, std::int64_t messageId, const TimelinePage& page) {
  std::vector<RecipientView> recipients;
  std::vector<std::int64_t> ids;
  {
    Query q(c, "SELECT id, stamp, address, name, cancelled FROM stamps WHERE message_id = ? ORDER BY position");
    q.Bind(1, messageId);
    while (q.Step()) {
      ids.push_back(q.Int(0));
      recipients.push_back(RecipientView{q.Text(1), q.Text(2), q.Text(3), q.Int(4) != 0, {}, {}});
    }
  }
  for (std::size_t i = 0; i < ids.size(); ++i) {
    // The newest of the page, read from the end of the stamp's range of the index.
    const bool paged = page.recipient == i + 1 && page.before > 0;
    Query q(c, std::string("SELECT id, type, class, time, ip, user_agent, reason, count FROM events "
                           "WHERE stamp_id = ?1") +
                   (paged ? " AND id < ?2" : "") + " ORDER BY id DESC LIMIT ?3");
    q.Bind(1, ids[i]).Bind(3, page.limit);
    if (paged) q.Bind(2, page.before);
    std::vector<Event>& events = recipients[i].events;
    while (q.Step()) {
      events.push_back(Event{q.Int(0), static_cast<EventType>(q.Int(1)), static_cast<EventClass>(q.Int(2)), q.Int(3),
                             q.Text(4), q.Text(5), q.Text(6), static_cast<int>(q.Int(7))});
    }
    std::reverse(events.begin(), events.end());
    Query totals(c,
                 "SELECT type, class, reason, MIN(time), MAX(time), SUM(count), COUNT(*), MIN(id) FROM events "
                 "WHERE stamp_id = ? GROUP BY type, class, reason ORDER BY MIN(id)");
    totals.Bind(1, ids[i]);
    while (totals.Step()) {
      recipients[i].tallies.push_back(EventTally{
          static_cast<EventType>(totals.Int(0)), static_cast<EventClass>(totals.Int(1)), totals.Text(2), totals.Int(3),
          totals.Int(4), static_cast<int>(totals.Int(5)), static_cast<int>(totals.Int(6)), totals.Int(7)});
    }
  }
  return recipients;
}

const std::string kMessageColumns =
    "SELECT id, kind, subject, sent_date, sent_time, issued, content IS NOT NULL, " + ActivitySql() + " FROM messages ";

MessageView ReadMessage(const Query& q) {
  MessageView m;
  m.id = q.Int(0);
  m.kind = q.Int(1) == 1 ? Kind::kCertified : Kind::kTracked;
  m.subject = q.Text(2);
  m.sentDate = q.Text(3);
  m.sentTime = q.Text(4);
  m.issued = q.Int(5);
  m.hasContent = q.Int(6) != 0;
  m.lastActivity = q.Int(7);
  return m;
}

class SqliteStore final : public Store {
 private:
  template <class Body>
  auto Write(Body&& body) {
    std::lock_guard lock(writeMutex_);
    return InTransaction(writer_, true, body);
  }

  // A database in memory has only the one connection.
  template <class Body>
  auto Read(Body&& body) {
    if (readers_.empty()) {
      std::lock_guard lock(writeMutex_);
      return InTransaction(writer_, false, [&] { return body(writer_); });
    }
    Connection* reader = nullptr;
    {
      std::unique_lock lock(readMutex_);
      readerFree_.wait(lock, [&] { return !idle_.empty(); });
      reader = idle_.back();
      idle_.pop_back();
    }
    struct Return {
      SqliteStore& store;
      Connection* reader;
      ~Return() {
        std::lock_guard lock(store.readMutex_);
        store.idle_.push_back(reader);
        store.readerFree_.notify_one();
      }
    } giveBack{*this, reader};
    return InTransaction(*reader, false, [&] { return body(*reader); });
  }

 public:
  explicit SqliteStore(const std::string& path) : writer_(path) {
    bool file = path != ":memory:" && !path.empty();
    try {
      Configure(writer_, file);
      sqlite::Migrate(writer_);
      if (file) {
        for (int i = 0; i < kReaders; ++i) {
          auto reader = std::make_unique<Connection>(path);
          Configure(*reader, true);
          idle_.push_back(reader.get());
          readers_.push_back(std::move(reader));
        }
      }
    } catch (const StoreError& error) {
      throw StoreError(sqlite::ExplainOpenFailure(path, error.what()));
    }
  }

  Account AddAccount(std::string_view address, int monthlyCredit, Time now) override {
    return Write([&] {
      if (AccountByAddress(writer_, address)) throw StoreError("the account " + AddressKey(address) + " exists");
      return CreateAccount(address, monthlyCredit, now);
    });
  }

  std::optional<Account> FindAccount(std::string_view address) override {
    return Read([&](Connection& c) { return AccountByAddress(c, address); });
  }

  std::optional<Account> FindAccountById(std::int64_t id) override {
    return Read([&](Connection& c) -> std::optional<Account> {
      Query q(c, std::string(kAccountColumns) + "WHERE id = ?");
      q.Bind(1, id);
      if (!q.Step()) return std::nullopt;
      return ReadAccount(q);
    });
  }

  std::vector<Account> ListAccounts() override {
    return Read([&](Connection& c) {
      std::vector<Account> accounts;
      Query q(c, std::string(kAccountColumns) + "ORDER BY address");
      while (q.Step()) accounts.push_back(ReadAccount(q));
      return accounts;
    });
  }

  bool SetMonthlyCredit(std::string_view address, int monthlyCredit) override {
    return Update("UPDATE accounts SET monthly_credit = ? WHERE address = ?", monthlyCredit, address);
  }

  bool SetPasswordHash(std::string_view address, std::string_view hash) override {
    return Write([&] {
      Query q(writer_, "UPDATE accounts SET password_hash = ? WHERE address = ?");
      q.Bind(1, hash).Bind(2, AddressKey(address)).Run();
      return writer_.Changes() > 0;
    });
  }

  bool SetCodepage(std::string_view address, int codepage) override {
    return Update("UPDATE accounts SET codepage = ? WHERE address = ?", codepage, address);
  }

  bool SetAddinKey(std::string_view address, std::string_view sealedKey) override {
    return Write([&] {
      Query q(writer_, "UPDATE accounts SET addin_key = ? WHERE address = ?");
      q.Bind(1, sealedKey).Bind(2, AddressKey(address)).Run();
      return writer_.Changes() > 0;
    });
  }

  bool RemoveAccount(std::string_view address) override {
    return Write([&] {
      Query q(writer_, "DELETE FROM accounts WHERE address = ?");
      q.Bind(1, AddressKey(address)).Run();
      return writer_.Changes() > 0;
    });
  }

  std::optional<int> CreditLeft(std::string_view address, Time now) override {
    return Read([&](Connection& c) -> std::optional<int> {
      auto account = AccountByAddress(c, address);
      if (!account) return std::nullopt;
      return account->monthlyCredit - Used(c, account->id, MonthOf(now));
    });
  }

  Issued IssueStamps(const NewMessage& message, int newSenderCredit,
                     const std::function<std::string()>& newStamp) override {
    return Write([&] {
      Issued issued;
      auto account = AccountByAddress(writer_, message.sender);
      if (!account && newSenderCredit > 0) account = CreateAccount(message.sender, newSenderCredit, message.issued);
      if (!account) {
        issued.outcome = IssueOutcome::kUnknownSender;
        return issued;
      }
      int month = MonthOf(message.issued);
      int used = Used(writer_, account->id, month);
      issued.creditLeft = account->monthlyCredit - used;
      auto count = static_cast<std::int64_t>(message.recipients.size());
      if (count > issued.creditLeft) {
        issued.outcome = IssueOutcome::kInsufficientCredit;
        return issued;
      }
      bool certified = message.kind == Kind::kCertified;
      {
        Query q(writer_,
                "INSERT INTO messages (account_id, kind, subject, sent_date, sent_time, issued, ip, from_name, "
                "content, is_html, search) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        q.Bind(1, account->id)
            .Bind(2, certified ? 1 : 0)
            .Bind(3, message.subject)
            .Bind(4, message.sentDate)
            .Bind(5, message.sentTime)
            .Bind(6, message.issued)
            .Bind(7, message.ip)
            .Bind(8, message.fromName);
        if (certified) {
          q.Bind(9, message.content);
        } else {
          q.BindNull(9);
        }
        std::string search = message.subject;
        for (const NewRecipient& recipient : message.recipients)
          search += "\n" + recipient.address + "\n" + recipient.name;
        q.Bind(10, message.isHtml ? 1 : 0).Bind(11, search).Run();
      }
      issued.messageId = writer_.LastInsertId();
      for (std::size_t i = 0; i < message.recipients.size(); ++i) {
        issued.stamps.push_back(InsertStamp(issued.messageId, static_cast<int>(i), message.recipients[i], newStamp));
      }
      Query q(writer_,
              "INSERT INTO credit_used (account_id, month, used) VALUES (?, ?, ?) "
              "ON CONFLICT (account_id, month) DO UPDATE SET used = used + excluded.used");
      q.Bind(1, account->id).Bind(2, month).Bind(3, count).Run();
      issued.creditLeft -= static_cast<int>(count);
      return issued;
    });
  }

  std::optional<StampInfo> FindStamp(std::string_view stamp) override {
    return Read([&](Connection& c) -> std::optional<StampInfo> {
      Query q(c, kStampColumns);
      q.Bind(1, stamp);
      if (!q.Step()) return std::nullopt;
      return ReadStampInfo(q);
    });
  }

  void RecordEvents(const std::vector<NewEvent>& events) override {
    if (events.empty()) return;
    Write([&] {
      for (const NewEvent& e : events) {
        std::int64_t stampId = 0;
        {
          Query q(writer_, "SELECT id FROM stamps WHERE stamp = ?");
          q.Bind(1, e.stamp);
          if (!q.Step()) continue;
          stampId = q.Int(0);
        }
        RecordEvent(writer_, stampId, e, mailNotices_);
      }
    });
  }

  bool RecordOnce(const NewEvent& event) override {
    return Write([&] {
      Query q(writer_,
              "SELECT s.id, EXISTS (SELECT 1 FROM events e WHERE e.stamp_id = s.id AND e.type = ? AND e.class = ?) "
              "FROM stamps s WHERE s.stamp = ?");
      q.Bind(1, static_cast<std::int64_t>(event.type))
          .Bind(2, static_cast<std::int64_t>(event.eventClass))
          .Bind(3, event.stamp);
      if (!q.Step() || q.Int(1) != 0) return false;
      RecordEvent(writer_, q.Int(0), event, mailNotices_);
      return true;
    });
  }

  std::string ServiceKey(std::string_view name, std::string_view fresh) override {
    return Write([&] {
      Query insert(writer_, "INSERT INTO service_keys (name, value) VALUES (?, ?) ON CONFLICT (name) DO NOTHING");
      insert.Bind(1, name).Bind(2, fresh).Run();
      Query q(writer_, "SELECT value FROM service_keys WHERE name = ?");
      q.Bind(1, name);
      return q.Step() ? q.Text(0) : std::string(fresh);
    });
  }

  Certified ReadCertified(const NewEvent& read) override {
    return Write([&] {
      Certified found;
      std::int64_t stampId = 0;
      {
        Query q(writer_, kStampColumns);
        q.Bind(1, read.stamp);
        if (!q.Step()) return found;
        found.info = ReadStampInfo(q);
        stampId = q.Int(11);
        bool hasContent = q.Int(12) != 0;
        if (found.info.kind != Kind::kCertified) {
          found.state = CertifiedState::kNotCertified;
        } else if (found.info.cancelled) {
          found.state = CertifiedState::kCancelled;
        } else if (!hasContent) {
          found.state = CertifiedState::kExpired;
        } else {
          found.state = CertifiedState::kFound;
          found.fromName = q.Text(13);
          found.content = q.Text(14);
          found.isHtml = q.Int(15) != 0;
        }
      }
      if (found.state == CertifiedState::kFound) RecordEvent(writer_, stampId, read, mailNotices_);
      return found;
    });
  }

  CertifiedState Cancel(const NewEvent& cancel) override {
    return Write([&] {
      std::int64_t stampId = 0, messageId = 0;
      {
        Query q(writer_, kStampColumns);
        q.Bind(1, cancel.stamp);
        if (!q.Step()) return CertifiedState::kUnknown;
        if (q.Int(6) != 1) return CertifiedState::kNotCertified;
        if (q.Int(10) != 0) return CertifiedState::kCancelled;
        stampId = q.Int(11);
        messageId = q.Int(1);
      }
      Query mark(writer_, "UPDATE stamps SET cancelled = 1 WHERE id = ?");
      mark.Bind(1, stampId).Run();
      RecordEvent(writer_, stampId, cancel, mailNotices_);
      // The content goes once no recipient may read it any more.
      Query drop(writer_,
                 "UPDATE messages SET content = NULL, received_content = NULL WHERE id = ?1 AND NOT EXISTS "
                 "(SELECT 1 FROM stamps WHERE message_id = ?1 AND cancelled = 0)");
      drop.Bind(1, messageId).Run();
      return CertifiedState::kFound;
    });
  }

  void KeepReceived(std::int64_t messageId, std::string_view received,
                    std::optional<std::string_view> content) override {
    Write([&] {
      Query q(writer_,
              "UPDATE messages SET received = ?, received_content = CASE WHEN content IS NULL THEN NULL ELSE ? END "
              "WHERE id = ?");
      q.Bind(1, received);
      if (content) {
        q.Bind(2, *content);
      } else {
        q.BindNull(2);
      }
      q.Bind(3, messageId).Run();
    });
  }

  std::vector<KeptText> KeptTexts(std::string_view address) override {
    return Read([&](Connection& c) {
      std::vector<KeptText> kept;
      Query q(c,
              "SELECT m.id, m.received, m.received_content FROM messages m JOIN accounts a ON a.id = m.account_id "
              "WHERE a.address = ? AND m.received IS NOT NULL ORDER BY m.id");
      q.Bind(1, AddressKey(address));
      while (q.Step()) {
        kept.push_back(KeptText{q.Int(0), q.Text(1), q.IsNull(2) ? std::nullopt : std::optional(q.Text(2))});
      }
      return kept;
    });
  }

  void RewriteText(std::int64_t messageId, const TextReadAgain& text) override {
    Write([&] {
      std::string search = text.subject;
      for (const NewRecipient& recipient : text.recipients) search += "\n" + recipient.address + "\n" + recipient.name;
      Query q(writer_,
              "UPDATE messages SET subject = ?, from_name = ?, search = ?, received = NULL, received_content = NULL, "
              "content = CASE WHEN content IS NULL OR ?4 IS NULL THEN content ELSE ?4 END WHERE id = ?5");
      q.Bind(1, text.subject).Bind(2, text.fromName).Bind(3, search);
      if (text.content) {
        q.Bind(4, *text.content);
      } else {
        q.BindNull(4);
      }
      q.Bind(5, messageId).Run();
      for (std::size_t i = 0; i < text.recipients.size(); ++i) {
        Query stamp(writer_, "UPDATE stamps SET address = ?, name = ? WHERE message_id = ? AND position = ?");
        stamp.Bind(1, text.recipients[i].address)
            .Bind(2, text.recipients[i].name)
            .Bind(3, messageId)
            .Bind(4, static_cast<std::int64_t>(i))
            .Run();
      }
    });
  }

  int ExpireContent(Time issuedBefore) override {
    return Write([&] {
      Query q(writer_,
              "UPDATE messages SET content = NULL, received_content = NULL WHERE content IS NOT NULL AND issued < ?");
      q.Bind(1, issuedBefore).Run();
      return writer_.Changes();
    });
  }

  int PurgeBefore(Time before) override {
    return Write([&] {
      Query q(writer_, "DELETE FROM messages WHERE issued < ?");
      q.Bind(1, before).Run();
      return writer_.Changes();
    });
  }

  std::vector<MessageView> ListMessages(const MessageQuery& query) override {
    return Read([&](Connection& c) {
      // One range of the index by sender, reading the search text kept beside each message: a scan
      // of the messages and their stamps reads pages all over a large database (72 ms at the median,
      // 412 ms at the 99th percentile for 10,000 messages among 500,000, bench/pages_scale.sh).
      const std::string sql = ListSql(query, query.search.empty() ? "" : " AND search LIKE ?1 ESCAPE '\\'");
      std::vector<MessageView> messages;
      {
        Query q(c, sql);
        if (!query.search.empty()) q.Bind(1, LikePattern(query.search));
        while (q.Step()) messages.push_back(ReadMessage(q));
      }
      for (MessageView& m : messages) m.recipients = Recipients(c, m.id, query.events);
      return messages;
    });
  }

  std::optional<MessageView> GetMessage(std::int64_t accountId, std::int64_t messageId,
                                        const TimelinePage& events) override {
    return Read([&](Connection& c) -> std::optional<MessageView> {
      MessageView m;
      {
        Query q(c, std::string(kMessageColumns) + "WHERE account_id = ? AND id = ?");
        q.Bind(1, accountId).Bind(2, messageId);
        if (!q.Step()) return std::nullopt;
        m = ReadMessage(q);
      }
      m.recipients = Recipients(c, m.id, events);
      return m;
    });
  }

  void CreateSession(std::string_view tokenHash, const Session& session) override {
    Write([&] {
      Query q(writer_,
              "INSERT INTO sessions (token_hash, account_id, csrf, last_seen, created, marker_hash) "
              "VALUES (?, ?, ?, ?, ?, ?)");
      q.Bind(1, tokenHash).Bind(2, session.accountId).Bind(3, session.csrf).Bind(4, session.lastSeen);
      q.Bind(5, session.created);
      if (session.markerHash.empty()) {
        q.BindNull(6);
      } else {
        q.Bind(6, session.markerHash);
      }
      q.Run();
    });
  }

  std::optional<Session> TouchSession(std::string_view tokenHash, Time idleSince, Time now) override {
    return Write([&]() -> std::optional<Session> {
      Session session;
      {
        Query q(writer_, "SELECT account_id, csrf, created FROM sessions WHERE token_hash = ? AND last_seen >= ?");
        q.Bind(1, tokenHash).Bind(2, idleSince);
        if (!q.Step()) return std::nullopt;
        session = Session{q.Int(0), q.Text(1), now, q.Int(2), {}};
      }
      Query q(writer_, "UPDATE sessions SET last_seen = ? WHERE token_hash = ?");
      q.Bind(1, now).Bind(2, tokenHash).Run();
      return session;
    });
  }

  void DeleteSession(std::string_view tokenHash) override {
    Write([&] {
      Query q(writer_, "DELETE FROM sessions WHERE token_hash = ?");
      q.Bind(1, tokenHash).Run();
    });
  }

  std::optional<std::int64_t> MarkedAccount(std::string_view markerHash, Time idleSince, Time createdSince) override {
    return Read([&](Connection& c) -> std::optional<std::int64_t> {
      Query q(c, "SELECT account_id FROM sessions WHERE marker_hash = ? AND last_seen >= ? AND created >= ?");
      q.Bind(1, markerHash).Bind(2, idleSince).Bind(3, createdSince);
      if (!q.Step()) return std::nullopt;
      return q.Int(0);
    });
  }

  void EndSessions(std::int64_t accountId, std::string_view keepTokenHash) override {
    Write([&] {
      Query q(writer_, "DELETE FROM sessions WHERE account_id = ? AND token_hash <> ?");
      q.Bind(1, accountId).Bind(2, keepTokenHash).Run();
    });
  }

  int PurgeSessions(Time idleSince, Time createdSince) override {
    return Write([&] {
      Query q(writer_, "DELETE FROM sessions WHERE last_seen < ? OR created < ?");
      q.Bind(1, idleSince).Bind(2, createdSince).Run();
      return writer_.Changes();
    });
  }

  int CountAttempt(std::string_view kind, std::string_view key, Time windowStart, Time) override {
    return Write([&] { return Count(kind, key, windowStart); });
  }

  std::vector<int> CountAttempts(const std::vector<std::pair<std::string, std::string>>& kindsAndKeys, Time windowStart,
                                 Time) override {
    return Write([&] {
      std::vector<int> counts;
      for (const auto& [kind, key] : kindsAndKeys) counts.push_back(Count(kind, key, windowStart));
      return counts;
    });
  }

  bool RememberSignature(std::string_view signature, Time expires, Time now) override {
    return Write([&] {
      {
        Query old(writer_, "DELETE FROM seen_signatures WHERE expires < ?");
        old.Bind(1, now).Run();
      }
      Query q(writer_, "INSERT INTO seen_signatures (signature, expires) VALUES (?, ?) ON CONFLICT DO NOTHING");
      q.Bind(1, signature).Bind(2, expires).Run();
      return writer_.Changes() > 0;
    });
  }

  std::vector<int> AttemptCounts(const std::vector<std::pair<std::string, std::string>>& kindsAndKeys,
                                 Time windowStart) override {
    return Read([&](Connection& c) {
      std::vector<int> counts;
      for (const auto& [kind, key] : kindsAndKeys) {
        Query q(c, "SELECT count FROM attempts WHERE kind = ? AND key = ? AND window_start = ?");
        q.Bind(1, kind).Bind(2, key).Bind(3, windowStart);
        counts.push_back(q.Step() ? static_cast<int>(q.Int(0)) : 0);
      }
      return counts;
    });
  }

  void ForgetAttempts(std::string_view kind) override {
    Write([&] {
      Query q(writer_, "DELETE FROM attempts WHERE kind = ?");
      q.Bind(1, kind).Run();
    });
  }

  std::int64_t NewestEventId(std::int64_t accountId) override {
    return Read([&](Connection& c) {
      Query q(c, NewestEventSql(accountId));
      return q.Step() ? q.Int(0) : std::int64_t{0};
    });
  }

  std::vector<LiveEvent> EventsAfter(std::int64_t accountId, std::int64_t afterId, int limit) override {
    return Read([&](Connection& c) {
      std::vector<LiveEvent> events;
      Query q(c, EventsAfterSql(accountId, afterId, limit));
      while (q.Step()) events.push_back(LiveEvent{q.Int(0), q.Int(1)});
      return events;
    });
  }

  bool Healthy() override {
    try {
      return Read([&](Connection& c) {
        Query q(c, "SELECT 1");
        return q.Step();
      });
    } catch (const StoreError&) {
      return false;
    }
  }

  void EnableMailNotices(bool on) override { mailNotices_ = on; }

  std::vector<Delivery> ClaimDeliveries(Time now, Time leaseUntil, int limit) override {
    // Looked for first without the write lock: the outbox is looked at often and is mostly empty.
    const bool due = Read([&](Connection& c) {
      Query q(c, "SELECT 1 FROM outbox WHERE due <= ?1 AND lease_until <= ?1 LIMIT 1");
      q.Bind(1, now);
      return q.Step();
    });
    if (!due) return {};
    return Write([&] { return sqlite::ClaimDeliveries(writer_, now, leaseUntil, limit); });
  }

  void FinishDelivery(const Delivery& delivery, Time /*now*/) override {
    Write([&] { sqlite::FinishDelivery(writer_, delivery); });
  }

  void RetryDelivery(const Delivery& delivery, Time due, bool summary, std::string_view error, Time now) override {
    Write([&] { sqlite::RetryDelivery(writer_, delivery, due, summary, error, now); });
  }

  void PauseWebhook(std::int64_t webhookId, std::string_view error) override {
    Write([&] { sqlite::PauseWebhook(writer_, webhookId, error); });
  }

  bool SetNotify(std::string_view address, std::string_view notify, std::string_view timeZone) override {
    return Write([&] {
      Query q(writer_, "UPDATE accounts SET notify = ?, time_zone = ? WHERE address = ?");
      q.Bind(1, notify).Bind(2, timeZone).Bind(3, AddressKey(address)).Run();
      return writer_.Changes() > 0;
    });
  }

  std::optional<Webhook> AddWebhook(std::string_view address, std::string_view url, std::string_view secret,
                                    Time now) override {
    return Write([&]() -> std::optional<Webhook> {
      auto account = AccountByAddress(writer_, address);
      if (!account) return std::nullopt;
      return sqlite::AddWebhook(writer_, account->id, url, secret, now);
    });
  }

  std::vector<Webhook> ListWebhooks(std::int64_t accountId) override {
    return Read([&](Connection& c) { return sqlite::ListWebhooks(c, accountId); });
  }

  bool RemoveWebhook(std::int64_t accountId, std::int64_t webhookId) override {
    return Write([&] { return sqlite::RemoveWebhook(writer_, accountId, webhookId); });
  }

  bool ResumeWebhook(std::int64_t accountId, std::int64_t webhookId) override {
    return Write([&] { return sqlite::ResumeWebhook(writer_, accountId, webhookId); });
  }

 private:
  // In the caller's write transaction.
  int Count(std::string_view kind, std::string_view key, Time windowStart) {
    {
      // This key's earlier windows, and every key's windows of days ago
      // (keys seen once would otherwise stay for good).
      Query old(writer_, "DELETE FROM attempts WHERE (kind = ? AND key = ? AND window_start < ?) OR window_start < ?");
      old.Bind(1, kind).Bind(2, key).Bind(3, windowStart).Bind(4, windowStart - kForgetAttemptsAfter).Run();
    }
    Query q(writer_,
            "INSERT INTO attempts (kind, key, window_start, count) VALUES (?, ?, ?, 1) "
            "ON CONFLICT (kind, key, window_start) DO UPDATE SET count = count + 1 RETURNING count");
    q.Bind(1, kind).Bind(2, key).Bind(3, windowStart);
    if (!q.Step()) writer_.Fail("counting an attempt");
    return static_cast<int>(q.Int(0));
  }

  bool Update(const char* sql, int value, std::string_view address) {
    return Write([&] {
      Query q(writer_, sql);
      q.Bind(1, value).Bind(2, AddressKey(address)).Run();
      return writer_.Changes() > 0;
    });
  }

  Account CreateAccount(std::string_view address, int monthlyCredit, Time now) {
    Query q(writer_, "INSERT INTO accounts (address, monthly_credit, created) VALUES (?, ?, ?)");
    q.Bind(1, AddressKey(address)).Bind(2, monthlyCredit).Bind(3, now).Run();
    Account account{writer_.LastInsertId(), AddressKey(address), "", monthlyCredit, 1252, now, ""};
    return account;
  }

  std::string InsertStamp(std::int64_t messageId, int position, const NewRecipient& recipient,
                          const std::function<std::string()>& newStamp) {
    for (int draw = 1;; ++draw) {
      std::string stamp = newStamp();
      try {
        Query q(writer_, "INSERT INTO stamps (stamp, message_id, position, address, name) VALUES (?, ?, ?, ?, ?)");
        q.Bind(1, stamp).Bind(2, messageId).Bind(3, position).Bind(4, recipient.address).Bind(5, recipient.name).Run();
        return stamp;
      } catch (const StoreError&) {
        if (writer_.LastError() != SQLITE_CONSTRAINT_UNIQUE || draw == kStampDraws) throw;
      }
    }
  }

  std::atomic<bool> mailNotices_{false};
  std::mutex writeMutex_;
  Connection writer_;
  std::mutex readMutex_;
  std::condition_variable readerFree_;
  std::vector<std::unique_ptr<Connection>> readers_;
  std::vector<Connection*> idle_;
};

}  // namespace

std::unique_ptr<Store> OpenSqliteStore(const std::string& path) {
  return std::make_unique<SqliteStore>(path);
}

}  // namespace mailwarden::store

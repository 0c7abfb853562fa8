#pragma once
// What the tracking service keeps, behind one interface with two engines
// (SQLite embedded, PostgreSQL shared by several service processes). Every
// method is one transaction; an engine is safe to call from many threads.
// Addresses compare case-insensitively: engines keep them lower case.
// All text is UTF-8.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mailwarden::store {

// Microseconds since 1970-01-01 UTC.
using Time = std::int64_t;

// The database could not be reached or refused a statement; the request
// fails with a 503 and is counted, it is never answered as done.
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Account {
  std::int64_t id = 0;
  std::string address;       // lower case
  std::string passwordHash;  // crypto_pwhash_str form; empty: cannot sign in
  int monthlyCredit = 0;
  int codepage = 1252;  // the sender's Windows code page, for the escapes
  Time created = 0;
  // The add-in key the sender's requests are signed with, sealed with the
  // service's own key; empty: the sender has none.
  std::string addinKey;
  // Which notices by mail the sender gets: "each", "hourly", "daily" (a
  // digest) or "off"; and the time zone (a tz database name) they are written in.
  std::string notify = "each";
  std::string timeZone = "UTC";
};

inline constexpr std::string_view kNotifyChoices[] = {"each", "hourly", "daily", "off"};

// A receiver of the account's events as signed POSTs.
struct Webhook {
  std::int64_t id = 0;
  std::int64_t accountId = 0;
  std::string url;
  std::string secret;  // the signing key, sealed (see service/notices/webhook_secret.h)
  Time created = 0;
  Time failingSince = 0;  // 0: its last delivery went through
  std::string lastError;
  bool paused = false;  // gets nothing until the sender resumes it
};

// One notice of the outbox to deliver: to the sender by mail (webhookId 0)
// or to one webhook. The event it tells of is named by a stable id.
struct Delivery {
  std::int64_t id = 0;
  std::int64_t accountId = 0;
  std::string sender;
  std::string notify;
  std::string timeZone;
  std::int64_t webhookId = 0;
  std::string url;
  std::string secret;
  int attempts = 0;  // this one included
  Time created = 0;
  bool summary = false;  // held for a digest or past the hourly cap: told in one mail with others
  // The event.
  std::int64_t eventId = 0;
  int eventType = 0;   // an EventType
  int eventClass = 0;  // an EventClass
  std::string reason;
  Time time = 0;
  std::int64_t messageId = 0;
  std::string subject;
  bool certified = false;
  std::string recipient;
  std::string recipientName;
};

enum class Kind { kTracked, kCertified };

struct NewRecipient {
  std::string address;
  std::string name;
};

// One stamp request or certified upload.
struct NewMessage {
  std::string sender;  // any case
  Kind kind = Kind::kTracked;
  std::string subject;
  std::string sentDate;  // "yyyy-mm-dd" and "hh:mm:ss" as the add-in sent them
  std::string sentTime;
  Time issued = 0;
  std::string ip;  // who asked for the stamps
  // Certified mail only: kept until read-expiry or cancellation.
  std::string fromName;
  std::string content;
  bool isHtml = false;
  std::vector<NewRecipient> recipients;
};

// A message whose text was not read for sure (two-byte codes in no code
// page set for the sender): the escapes as received, so that it can be
// read again once the sender's code page is known. content only while the
// certified content itself is kept.
struct KeptText {
  std::int64_t messageId = 0;
  std::string received;                // the text fields' escapes, as a form ("subject=...&toAddy=...")
  std::optional<std::string> content;  // the content's escapes
};

// A message's text read again: the recipients in their order.
struct TextReadAgain {
  std::string subject;
  std::string fromName;
  std::optional<std::string> content;  // only where the content is still kept
  std::vector<NewRecipient> recipients;
};

enum class IssueOutcome { kIssued, kUnknownSender, kInsufficientCredit };

struct Issued {
  IssueOutcome outcome = IssueOutcome::kIssued;
  std::int64_t messageId = 0;
  std::vector<std::string> stamps;  // in recipient order
  int creditLeft = 0;               // this month, after the issue
};

// kVisit: a GET of a receipt, read or cancel link that a machine made; it
// changes nothing and is shown apart.
enum class EventType { kImage, kReceipt, kRead, kCancel, kVisit };
enum class EventClass { kPerson, kMachine, kSender };

struct NewEvent {
  std::string stamp;
  EventType type = EventType::kImage;
  EventClass eventClass = EventClass::kPerson;
  Time time = 0;
  std::string ip;
  std::string userAgent;  // kept cut to kMaxUserAgent bytes
  std::string reason;     // why it was taken for a person, a machine or the sender, in the sender's words
  int count = 1;          // this many alike, folded into one before the store
};

// Events a stranger can cause are bounded per stamp: an event alike to one
// of the stamp within kAlikeWithin (same type, class and client) only adds
// to that one's count; past kMaxEventRows rows of a stamp, an event adds to
// the stamp's latest of its type (a type's first event always gets a row).
inline constexpr Time kAlikeWithin = 60LL * 1000000;
inline constexpr int kMaxEventRows = 200;
inline constexpr std::size_t kMaxUserAgent = 300;

// The User-Agent as kept: at most kMaxUserAgent bytes, cut before a UTF-8
// continuation byte.
inline std::string StoredUserAgent(std::string_view userAgent) {
  if (userAgent.size() <= kMaxUserAgent) return std::string(userAgent);
  std::size_t cut = kMaxUserAgent;
  while (cut > 0 && (static_cast<unsigned char>(userAgent[cut]) & 0xC0) == 0x80) --cut;
  return std::string(userAgent.substr(0, cut));
}

// Whether the sender hears of the event (by webhook; by mail only of a
// stamp's first open): what a person did, and a cancellation, which is news
// to the sender even when they made it (on another machine, or a colleague).
inline bool NoticeWanted(const NewEvent& e) {
  if (e.type == EventType::kVisit || e.eventClass == EventClass::kMachine) return false;
  return e.eventClass == EventClass::kPerson || e.type == EventType::kCancel;
}

// What the service knows of a stamp, for recording and classifying events.
struct StampInfo {
  std::string stamp;
  std::int64_t messageId = 0;
  std::int64_t accountId = 0;
  std::string sender;
  std::string recipient;
  std::string recipientName;
  Kind kind = Kind::kTracked;
  std::string subject;
  Time issued = 0;
  std::string issuerIp;
  std::string senderName;    // certified mail only: the name the add-in sent
  bool contentKept = false;  // certified mail only: not yet expired or cancelled
  bool cancelled = false;
  // The reasons of the persons' opens so far, each once: an image proxy's
  // later fetch of the same stamp is its cache, not another open.
  std::vector<std::string> openReasons;
};

enum class CertifiedState { kFound, kUnknown, kNotCertified, kCancelled, kExpired };

struct Certified {
  CertifiedState state = CertifiedState::kUnknown;
  StampInfo info;
  std::string fromName;
  std::string content;
  bool isHtml = false;
};

// The sender's pages: one message with its recipients and their events.
struct Event {
  std::int64_t id = 0;  // in the order of writing
  EventType type = EventType::kImage;
  EventClass eventClass = EventClass::kPerson;
  Time time = 0;  // the first of them
  std::string ip;
  std::string userAgent;
  std::string reason;
  int count = 1;  // events alike folded into this one
};

// All of a recipient's events of one type, class and reason added up, over
// the whole timeline whatever page of it is loaded.
struct EventTally {
  EventType type = EventType::kImage;
  EventClass eventClass = EventClass::kPerson;
  std::string reason;
  Time first = 0;
  Time last = 0;
  int count = 0;             // events, folded ones included
  int rows = 0;              // rows of the timeline
  std::int64_t firstId = 0;  // of its oldest row
};

struct RecipientView {
  std::string stamp;
  std::string address;
  std::string name;
  bool cancelled = false;
  std::vector<Event> events;        // a page of the timeline, oldest first
  std::vector<EventTally> tallies;  // in the order of their first rows
};

// How many of a recipient's events the pages show at once.
inline constexpr int kTimelinePage = 50;

// Which page of each recipient's timeline is loaded: the newest `limit`
// events (below 0: all of them, at most kMaxEventRows and a row per type
// anyway); for the recipient at `recipient` (counted from 1; 0 for none)
// only those written before the event `before`.
struct TimelinePage {
  int limit = kTimelinePage;
  std::size_t recipient = 0;
  std::int64_t before = 0;
};

struct MessageView {
  std::int64_t id = 0;
  Kind kind = Kind::kTracked;
  std::string subject;
  std::string sentDate;
  std::string sentTime;
  Time issued = 0;
  bool hasContent = false;  // certified content still kept
  // The newest event of a person or the sender on any of its stamps; the
  // stamps' issue when there is none. Machines' fetches are not activity.
  Time lastActivity = 0;
  std::vector<RecipientView> recipients;
};

// Which of the sender's messages the list shows, by what a person did on
// any of its stamps: nothing yet (no open, receipt or read), an open (or a
// receipt or read, which a person cannot send unseen), a receipt, a
// certified read.
enum class SeenFilter { kAny, kNotOpened, kOpened, kConfirmed, kRead };
// By kind: a tracked message is Automatic once an image of it was fetched,
// Request receipt once a receipt came (the stamp request is alike for both).
enum class KindFilter { kAny, kAutomatic, kRequestReceipt, kGuaranteed };
enum class MessageOrder { kNewest, kLastActivity };

struct MessageQuery {
  std::int64_t accountId = 0;
  std::string search;  // over subject and recipient address/name; empty: all
  // Keyset paging, newest first: messages with id below this one (0: from
  // the newest).
  std::int64_t beforeId = 0;
  int limit = 50;
  TimelinePage events;
  SeenFilter seen = SeenFilter::kAny;
  KindFilter kind = KindFilter::kAny;
  // Issued in [issuedFrom, issuedUntil); 0: no bound.
  Time issuedFrom = 0;
  Time issuedUntil = 0;
  // kLastActivity pages by (lastActivity, id): with beforeId, only messages
  // whose activity is older than activityBefore, or as old with a lower id.
  MessageOrder order = MessageOrder::kNewest;
  Time activityBefore = 0;
};

// An event as the live pages learn of it.
struct LiveEvent {
  std::int64_t id = 0;
  std::int64_t messageId = 0;
};

struct Session {
  std::int64_t accountId = 0;
  std::string csrf;
  Time lastSeen = 0;
  Time created = 0;        // the session ends a fixed time after, used or not
  std::string markerHash;  // of the token that marks the sender's own fetches; written at the start only
};

class Store {
 public:
  virtual ~Store() = default;

  // Accounts (the administrator's commands and the pages).
  // AddAccount throws StoreError when the address exists.
  virtual Account AddAccount(std::string_view address, int monthlyCredit, Time now) = 0;
  virtual std::optional<Account> FindAccount(std::string_view address) = 0;
  virtual std::vector<Account> ListAccounts() = 0;
  // The signed-in sender's account, by the id its session holds. Engines
  // answer it by key; this fallback scans the accounts.
  virtual std::optional<Account> FindAccountById(std::int64_t id) {
    for (Account& account : ListAccounts())
      if (account.id == id) return std::move(account);
    return std::nullopt;
  }
  // False when there is no such account.
  virtual bool SetMonthlyCredit(std::string_view address, int monthlyCredit) = 0;
  virtual bool SetPasswordHash(std::string_view address, std::string_view hash) = 0;
  virtual bool SetCodepage(std::string_view address, int codepage) = 0;
  // The sealed add-in key, replacing any before.
  virtual bool SetAddinKey(std::string_view address, std::string_view sealedKey) = 0;
  // With every message, stamp, event and session of the account.
  virtual bool RemoveAccount(std::string_view address) = 0;

  // The credit left in the calendar month (UTC) of now; nothing for a sender
  // without an account.
  virtual std::optional<int> CreditLeft(std::string_view address, Time now) = 0;

  // Creates the sender's account with newSenderCredit when there is none and
  // newSenderCredit > 0; then, in the same transaction, issues one stamp per
  // recipient (made by newStamp, unique) and takes one credit each, or
  // nothing at all when the month's credit does not cover them.
  virtual Issued IssueStamps(const NewMessage& message, int newSenderCredit,
                             const std::function<std::string()>& newStamp) = 0;

  virtual std::optional<StampInfo> FindStamp(std::string_view stamp) = 0;

  // The escapes of a message whose text is not sure, kept beside it (the
  // content's only while the content is kept).
  virtual void KeepReceived(std::int64_t messageId, std::string_view received,
                            std::optional<std::string_view> content) = 0;
  // The kept escapes of the sender's messages.
  virtual std::vector<KeptText> KeptTexts(std::string_view address) = 0;
  // Replaces the message's text by text read again, and forgets its escapes.
  virtual void RewriteText(std::int64_t messageId, const TextReadAgain& text) = 0;

  // Image fetches and receipt clicks, written in batches; events of unknown
  // stamps are skipped.
  virtual void RecordEvents(const std::vector<NewEvent>& events) = 0;
  // Records the event unless its stamp has one of the same type and class
  // already, in one transaction, so a button pressed twice counts once.
  // False when it was there (or the stamp is unknown).
  virtual bool RecordOnce(const NewEvent& event) = 0;

  // The certified message of the stamp; a found one records the read event
  // in the same transaction. Content is gone after expiry or cancellation.
  virtual Certified ReadCertified(const NewEvent& read) = 0;
  // Deletes the stamp's delivery: its copy of the content is no longer
  // shown, the cancel event is recorded. kCancelled when already cancelled.
  virtual CertifiedState Cancel(const NewEvent& cancel) = 0;

  // Deletes certified content issued before the given time (read-expiry);
  // the records stay. Returns how many messages lost their content.
  virtual int ExpireContent(Time issuedBefore) = 0;
  // Deletes messages, stamps and events older than the given time.
  virtual int PurgeBefore(Time before) = 0;

  // The sender's pages.
  virtual std::vector<MessageView> ListMessages(const MessageQuery& query) = 0;
  virtual std::optional<MessageView> GetMessage(std::int64_t accountId, std::int64_t messageId,
                                                const TimelinePage& events) = 0;
  std::optional<MessageView> GetMessage(std::int64_t accountId, std::int64_t messageId) {
    return GetMessage(accountId, messageId, TimelinePage{});
  }
  virtual void CreateSession(std::string_view tokenHash, const Session& session) = 0;
  // Nothing when unknown or idle since before idleSince; a found session's
  // lastSeen becomes now.
  virtual std::optional<Session> TouchSession(std::string_view tokenHash, Time idleSince, Time now) = 0;
  virtual void DeleteSession(std::string_view tokenHash) = 0;
  // The account of the live session whose marker token has this hash (not
  // kept alive by it); nothing when none.
  virtual std::optional<std::int64_t> MarkedAccount(std::string_view markerHash, Time idleSince, Time createdSince) = 0;
  // Ends every session of the account but the one with keepTokenHash (none
  // when empty): after a change of password.
  virtual void EndSessions(std::int64_t accountId, std::string_view keepTokenHash) = 0;
  // Deletes sessions idle since before idleSince or begun before
  // createdSince; how many.
  virtual int PurgeSessions(Time idleSince, Time createdSince) = 0;

  // Counts an attempt of the given kind ("signin", "stamp", ...) by key
  // (an address or an IP) in the window starting at windowStart, and returns
  // the count including this one; shared by every service process.
  virtual int CountAttempt(std::string_view kind, std::string_view key, Time windowStart, Time now) = 0;
  // Several attempts (kind and key each) counted together, the counts in the
  // same order. By default one CountAttempt each; an engine may do them in
  // one transaction.
  virtual std::vector<int> CountAttempts(const std::vector<std::pair<std::string, std::string>>& kindsAndKeys,
                                         Time windowStart, Time now) {
    std::vector<int> counts;
    for (const auto& [kind, key] : kindsAndKeys) counts.push_back(CountAttempt(kind, key, windowStart, now));
    return counts;
  }

  // The service's secret of this name, shared by every service process:
  // the one stored, or fresh when there is none yet (then stored).
  virtual std::string ServiceKey(std::string_view name, std::string_view fresh) = 0;
  // Remembers a request's signature until it expires, shared by every
  // service process; false when it is remembered already (a replay).
  // Signatures expired by now are forgotten.
  virtual bool RememberSignature(std::string_view signature, Time expires, Time now) = 0;
  // The counts of attempts (kind and key each) in the window starting at
  // windowStart, without counting one; 0 for none.
  virtual std::vector<int> AttemptCounts(const std::vector<std::pair<std::string, std::string>>& kindsAndKeys,
                                         Time windowStart) = 0;
  // Forgets every count of that kind, in every window.
  virtual void ForgetAttempts(std::string_view kind) = 0;

  // The outbox. Each event a person made (the first open of a stamp only
  // for mail) and each cancellation is queued in the event's transaction:
  // for mail when mail notices are on and the account wants them, and for
  // each of its webhooks not paused.
  virtual void EnableMailNotices(bool on) = 0;
  // Takes up to limit deliveries due by now, none of a webhook and stamp
  // behind an earlier one still pending (in order per recipient); each is
  // leased until leaseUntil, so no other process takes it meanwhile.
  virtual std::vector<Delivery> ClaimDeliveries(Time now, Time leaseUntil, int limit) = 0;
  // Delivered (or given up): gone from the outbox; its webhook no longer failing.
  virtual void FinishDelivery(const Delivery& delivery, Time now) = 0;
  // Tried again at due; a webhook's failure is kept for the settings page.
  virtual void RetryDelivery(const Delivery& delivery, Time due, bool summary, std::string_view error, Time now) = 0;
  // A receiver that keeps failing: paused, its pending deliveries dropped.
  virtual void PauseWebhook(std::int64_t webhookId, std::string_view error) = 0;

  // The sender's choices of notices. False when there is no such account.
  virtual bool SetNotify(std::string_view address, std::string_view notify, std::string_view timeZone) = 0;
  virtual std::optional<Webhook> AddWebhook(std::string_view address, std::string_view url, std::string_view secret,
                                            Time now) = 0;
  virtual std::vector<Webhook> ListWebhooks(std::int64_t accountId) = 0;
  virtual bool RemoveWebhook(std::int64_t accountId, std::int64_t webhookId) = 0;
  virtual bool ResumeWebhook(std::int64_t accountId, std::int64_t webhookId) = 0;

  // True when the database answers.
  virtual bool Healthy() = 0;

  // The live pages, shared by every service process: the id of the newest
  // event of the sender's messages (0: none yet), and the events after one,
  // oldest first, at most limit.
  virtual std::int64_t NewestEventId(std::int64_t accountId) = 0;
  virtual std::vector<LiveEvent> EventsAfter(std::int64_t accountId, std::int64_t afterId, int limit) = 0;
};

// "sqlite:PATH", "sqlite::memory:" or "postgresql://..." (any libpq
// connection string); applies the schema migrations. Throws StoreError.
std::unique_ptr<Store> OpenStore(std::string_view url);

}  // namespace mailwarden::store

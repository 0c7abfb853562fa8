#pragma once
// What a message's events add up to, for the pages, the CSV and the JSON
// alike: per recipient, how often and when a person, a machine or the
// sender fetched the image, sent the receipt or read the message.
#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "service/store/store.h"

namespace mailwarden::pages {

struct Tally {
  int count = 0;
  store::Time first = 0;
  store::Time last = 0;
};

struct RecipientSummary {
  // Indexed by store::EventClass.
  std::array<Tally, 3> images{};
  std::array<Tally, 3> receipts{};
  std::array<Tally, 3> reads{};
  bool cancelled = false;
  store::Time cancelledAt = 0;
  int machineEvents = 0;    // every event a machine made, visits of links too
  bool prefetched = false;  // a provider's prefetch on delivery (Apple Mail Privacy Protection) is among them
};

RecipientSummary Summarize(const store::RecipientView& recipient);

// The rows of the recipient's whole timeline, of which a page is loaded.
int TimelineRows(const store::RecipientView& recipient);
// The id of the oldest event loaded when older ones exist; 0 when none.
std::int64_t OlderThan(const store::RecipientView& recipient);
// The page of the timelines a request asks for: "recipient" (counted from 1)
// and "events_before" (an event's id) page back through one recipient's.
store::TimelinePage TimelineAsked(const std::map<std::string, std::string>& fields);

// "Automatic", "Request receipt" or "Guaranteed". The stamp request is the
// same for both tracked kinds, so a tracked message is known as one only
// once an image was fetched or a receipt clicked; until then: empty.
std::string KindName(const store::MessageView& message);

// "image", "receipt", "read", "cancel", "visit"; "person", "machine", "sender".
const char* TypeName(store::EventType type);
const char* ClassName(store::EventClass eventClass);

// The recipient's status at a glance, as HTML (times as <time> elements):
// persons only; what machines and the sender did follows apart
// ("opened 2× · 3 machine fetches not counted"). A recipient whose only sign
// is a provider's prefetch is "delivered, not known whether opened". Where
// a receipt was asked for (Request receipt), a recipient without one has
// "no receipt yet", whether opened or not.
std::string StatusHtml(const RecipientSummary& summary, store::Kind kind, bool receiptAsked = false);

// True when the message asks for receipts: a tracked message known as Request receipt.
bool ReceiptAsked(const store::MessageView& message);

// A person's open, receipt or read: the recipient has seen the message.
bool Seen(const RecipientSummary& summary);

// The message's recipients at a glance: "2 of 3 opened", and "1 of 3
// confirmed" where receipts are asked; "1 of 2 read" for certified mail.
// Persons only, as in each status.
std::string GlanceText(const store::MessageView& message);

}  // namespace mailwarden::pages

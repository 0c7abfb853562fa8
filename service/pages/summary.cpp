#include "service/pages/summary.h"

#include "service/events/classify.h"
#include "service/pages/web_text.h"

namespace mailwarden::pages {

namespace {

// The recipient's events of one type, class and reason.
void Add(Tally& tally, const store::EventTally& events) {
  if (tally.count == 0 || events.first < tally.first) tally.first = events.first;
  if (tally.count == 0 || events.last > tally.last) tally.last = events.last;
  tally.count += events.count;
}

std::size_t Index(store::EventClass eventClass) {
  return static_cast<std::size_t>(eventClass);
}

std::string Times(int count) {
  return std::to_string(count) + "\u00d7";
}

std::string Span(const Tally& tally) {
  if (tally.count == 1) return TimeElement(tally.first);
  return "first " + TimeElement(tally.first) + ", last " + TimeElement(tally.last);
}

// "3 machine fetches not counted · 2 views of your own not counted": what
// the status leaves out.
std::string Others(const RecipientSummary& summary) {
  std::string text;
  const auto add = [&](int count, const char* one, const char* many) {
    if (!count) return;
    text += std::string(text.empty() ? "" : " \u00b7 ") + std::to_string(count) + (count == 1 ? one : many) +
            " not counted";
  };
  add(summary.machineEvents, " machine fetch", " machine fetches");
  const std::size_t sender = Index(store::EventClass::kSender);
  add(summary.images[sender].count + summary.receipts[sender].count + summary.reads[sender].count, " view of your own",
      " views of your own");
  return text;
}

}  // namespace

RecipientSummary Summarize(const store::RecipientView& recipient) {
  RecipientSummary summary;
  summary.cancelled = recipient.cancelled;
  // From the totals of the whole timeline: the page of it loaded may hold only the latest.
  for (const store::EventTally& event : recipient.tallies) {
    const std::size_t who = Index(event.eventClass);
    if (event.eventClass == store::EventClass::kMachine && event.type != store::EventType::kCancel) {
      summary.machineEvents += event.rows;
      if (event.reason == events::kApplePrefetch) summary.prefetched = true;
    }
    switch (event.type) {
      case store::EventType::kImage:
        Add(summary.images[who], event);
        break;
      case store::EventType::kReceipt:
        Add(summary.receipts[who], event);
        break;
      case store::EventType::kRead:
        Add(summary.reads[who], event);
        break;
      case store::EventType::kCancel:
        summary.cancelled = true;
        if (!summary.cancelledAt) summary.cancelledAt = event.first;
        break;
      case store::EventType::kVisit:
        break;
    }
  }
  return summary;
}

int TimelineRows(const store::RecipientView& recipient) {
  int rows = 0;
  for (const store::EventTally& tally : recipient.tallies) rows += tally.rows;
  return rows;
}

std::int64_t OlderThan(const store::RecipientView& recipient) {
  if (recipient.events.empty()) return 0;
  const std::int64_t oldest = recipient.events.front().id;
  for (const store::EventTally& tally : recipient.tallies)
    if (tally.firstId < oldest) return oldest;
  return 0;
}

store::TimelinePage TimelineAsked(const std::map<std::string, std::string>& fields) {
  store::TimelinePage page;
  const auto recipient = fields.find("recipient");
  const auto before = fields.find("events_before");
  if (recipient == fields.end() || before == fields.end()) return page;
  page.recipient = static_cast<std::size_t>(ParseId(recipient->second));
  page.before = ParseId(before->second);
  if (!page.before) page.recipient = 0;
  return page;
}

std::string KindName(const store::MessageView& message) {
  if (message.kind == store::Kind::kCertified) return "Guaranteed";
  for (const store::RecipientView& recipient : message.recipients) {
    for (const store::EventTally& event : recipient.tallies) {
      if (event.type == store::EventType::kImage) return "Automatic";
      if (event.type == store::EventType::kReceipt) return "Request receipt";
    }
  }
  return "";
}

const char* TypeName(store::EventType type) {
  switch (type) {
    case store::EventType::kImage:
      return "image";
    case store::EventType::kReceipt:
      return "receipt";
    case store::EventType::kRead:
      return "read";
    case store::EventType::kCancel:
      return "cancel";
    case store::EventType::kVisit:
      return "visit";
  }
  return "image";
}

const char* ClassName(store::EventClass eventClass) {
  switch (eventClass) {
    case store::EventClass::kPerson:
      return "person";
    case store::EventClass::kMachine:
      return "machine";
    case store::EventClass::kSender:
      return "sender";
  }
  return "person";
}

bool ReceiptAsked(const store::MessageView& message) {
  return KindName(message) == "Request receipt";
}

bool Seen(const RecipientSummary& summary) {
  const std::size_t person = Index(store::EventClass::kPerson);
  return summary.images[person].count + summary.receipts[person].count + summary.reads[person].count > 0;
}

std::string GlanceText(const store::MessageView& message) {
  const std::size_t person = Index(store::EventClass::kPerson);
  int seen = 0, confirmed = 0, read = 0;
  for (const store::RecipientView& recipient : message.recipients) {
    const RecipientSummary summary = Summarize(recipient);
    seen += Seen(summary);
    confirmed += summary.receipts[person].count > 0;
    read += summary.reads[person].count > 0;
  }
  const std::string of = " of " + std::to_string(message.recipients.size());
  if (message.kind == store::Kind::kCertified) return std::to_string(read) + of + " read";
  std::string text = std::to_string(seen) + of + " opened";
  if (ReceiptAsked(message)) text += " \u00b7 " + std::to_string(confirmed) + of + " confirmed";
  return text;
}

std::string StatusHtml(const RecipientSummary& summary, store::Kind kind, bool receiptAsked) {
  const std::size_t person = Index(store::EventClass::kPerson);
  std::string main;
  if (kind == store::Kind::kCertified) {
    const Tally& read = summary.reads[person];
    if (read.count) main = "read " + Span(read);
    if (summary.cancelled) {
      main += std::string(main.empty() ? "" : "; ") + "cancelled" +
              (summary.cancelledAt ? " " + TimeElement(summary.cancelledAt) : std::string());
    }
    if (main.empty()) main = "not read";
  } else {
    const Tally& receipt = summary.receipts[person];
    const Tally& image = summary.images[person];
    if (receipt.count) main = "receipt sent " + TimeElement(receipt.first);
    if (!receipt.count && receiptAsked) main = image.count ? "" : "no receipt yet";
    if (image.count)
      main += std::string(main.empty() ? "" : "; ") + "opened " + Times(image.count) + ", " + Span(image);
    if (!receipt.count && receiptAsked && image.count) main += "; no receipt yet";
    // A prefetch on delivery says the mail arrived, and nothing of the reader.
    if (main.empty()) main = summary.prefetched ? "delivered, not known whether opened" : "not opened";
  }
  const char* look = main.rfind("not ", 0) == 0 || main.rfind("no ", 0) == 0 || main.rfind("delivered", 0) == 0
                         ? "unseen"
                     : main.rfind("cancelled", 0) == 0 ? "cancelled"
                                                       : "seen";
  const std::string others = Others(summary);
  return "<span class=\"status " + std::string(look) + "\">" + main + "</span>" +
         (others.empty() ? "" : " <span class=\"others\">\u00b7 " + others + "</span>");
}

}  // namespace mailwarden::pages

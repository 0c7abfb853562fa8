#include "service/pages/summary.h"

#include "service/pages/web_text.h"

namespace mailwarden::pages {

namespace {

// One event row, standing for event.count alike.
void Add(Tally& tally, const store::Event& event) {
  if (tally.count == 0 || event.time < tally.first) tally.first = event.time;
  if (tally.count == 0 || event.time > tally.last) tally.last = event.time;
  tally.count += event.count;
}

std::size_t Index(store::EventClass eventClass) {
  return static_cast<std::size_t>(eventClass);
}

std::string Times(int count) {
  return count == 1 ? "once" : std::to_string(count) + " times";
}

std::string Span(const Tally& tally) {
  if (tally.count == 1) return TimeElement(tally.first);
  return "first " + TimeElement(tally.first) + ", last " + TimeElement(tally.last);
}

// "opened once by a machine, 2 times by you": what the status leaves out.
std::string Others(const std::array<Tally, 3>& tallies, const char* what) {
  std::string text;
  const int machine = tallies[Index(store::EventClass::kMachine)].count;
  const int sender = tallies[Index(store::EventClass::kSender)].count;
  if (machine) text += Times(machine) + (machine == 1 ? " by a machine" : " by machines");
  if (sender) text += std::string(text.empty() ? "" : ", ") + Times(sender) + " by you";
  return text.empty() ? text : std::string(what) + " " + text;
}

}  // namespace

RecipientSummary Summarize(const store::RecipientView& recipient) {
  RecipientSummary summary;
  summary.cancelled = recipient.cancelled;
  for (const store::Event& event : recipient.events) {
    const std::size_t who = Index(event.eventClass);
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
        if (!summary.cancelledAt) summary.cancelledAt = event.time;
        break;
    }
  }
  return summary;
}

std::string KindName(const store::MessageView& message) {
  if (message.kind == store::Kind::kCertified) return "Guaranteed";
  for (const store::RecipientView& recipient : message.recipients) {
    for (const store::Event& event : recipient.events) {
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

std::string StatusHtml(const RecipientSummary& summary, store::Kind kind) {
  const std::size_t person = Index(store::EventClass::kPerson);
  std::string main;
  std::string others;
  if (kind == store::Kind::kCertified) {
    const Tally& read = summary.reads[person];
    if (read.count) main = "read " + Span(read);
    if (summary.cancelled) {
      main += std::string(main.empty() ? "" : "; ") + "cancelled" +
              (summary.cancelledAt ? " " + TimeElement(summary.cancelledAt) : std::string());
    }
    if (main.empty()) main = "not read";
    others = Others(summary.reads, "read");
  } else {
    const Tally& receipt = summary.receipts[person];
    const Tally& image = summary.images[person];
    if (receipt.count) main = "receipt sent " + TimeElement(receipt.first);
    if (image.count)
      main += std::string(main.empty() ? "" : "; ") + "opened " + Times(image.count) + ", " + Span(image);
    if (main.empty()) main = "not opened";
    for (const std::string& part : {Others(summary.images, "opened"), Others(summary.receipts, "receipt clicked")}) {
      if (!part.empty()) others += (others.empty() ? "" : "; ") + part;
    }
  }
  const char* look = main.rfind("not ", 0) == 0 ? "unseen" : main.rfind("cancelled", 0) == 0 ? "cancelled" : "seen";
  return "<span class=\"status " + std::string(look) + "\">" + main + "</span>" +
         (others.empty() ? "" : " <span class=\"others\">(not counted: " + others + ")</span>");
}

}  // namespace mailwarden::pages

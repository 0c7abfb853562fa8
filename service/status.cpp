#include "service/status.h"

#include <algorithm>
#include <tuple>

#include "service/links/html.h"
#include "service/links/link_pages.h"
#include "service/pages/summary.h"
#include "service/time_text.h"

namespace mailwarden {
namespace {

constexpr int kMessagesPerSender = 1000;

const char* EventName(store::EventType type) {
  switch (type) {
    case store::EventType::kImage:
      return kEventImageFetched;
    case store::EventType::kReceipt:
      return kEventReceiptClicked;
    case store::EventType::kRead:
      return kEventRead;
    case store::EventType::kCancel:
      return kEventCancelled;
    case store::EventType::kVisit:
      return kEventVisited;
  }
  return "";
}

std::string Text(const nlohmann::json& value) {
  if (value.is_string()) return HtmlEscape(value.get<std::string>());
  return HtmlEscape(value.dump());
}

std::string Row(std::initializer_list<std::string> cells, const char* tag = "td") {
  std::string row = "<tr>";
  for (const std::string& cell : cells) row += std::string("<") + tag + ">" + cell + "</" + tag + ">";
  return row + "</tr>\n";
}

}  // namespace

std::string TimeText(store::Time time) {
  return FormatUtc(time, "%Y-%m-%dT%H:%M:%SZ");
}

nlohmann::json Status(Context& context) {
  context.events.Flush();
  nlohmann::json senders = nlohmann::json::array(), stamps = nlohmann::json::array();
  // (time, order of writing, event) so that events sort oldest first.
  std::vector<std::tuple<store::Time, int, std::int64_t, nlohmann::json>> events;
  store::Time now = context.Now();
  for (const store::Account& account : context.store.ListAccounts()) {
    senders.push_back(
        {{"address", account.address}, {"credit", context.store.CreditLeft(account.address, now).value_or(0)}});
    store::MessageQuery query;
    query.accountId = account.id;
    query.limit = kMessagesPerSender;
    query.events.limit = -1;  // every event
    for (const store::MessageView& message : context.store.ListMessages(query)) {
      bool certified = message.kind == store::Kind::kCertified;
      for (const store::RecipientView& recipient : message.recipients) {
        nlohmann::json stamp = {{"stamp", recipient.stamp},          {"sender", account.address},
                                {"recipient", recipient.address},    {"recipientName", recipient.name},
                                {"subject", message.subject},        {"kind", certified ? "certified" : "tracked"},
                                {"issued", TimeText(message.issued)}};
        if (certified) stamp["cancelled"] = recipient.cancelled;
        stamps.push_back(std::move(stamp));
        auto add = [&](store::Time time, int order, const char* type, const store::Event* event) {
          nlohmann::json entry = {
              {"type", type}, {"stamp", recipient.stamp}, {"recipient", recipient.address}, {"time", TimeText(time)}};
          if (event) {
            entry["class"] = pages::ClassName(event->eventClass);
            entry["reason"] = event->reason;
          }
          events.emplace_back(time, order, message.id, std::move(entry));
        };
        add(message.issued, 0, kEventStampIssued, nullptr);
        int order = 1;
        for (const store::Event& event : recipient.events) add(event.time, order++, EventName(event.type), &event);
      }
    }
  }
  std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) {
    return std::tie(std::get<0>(a), std::get<1>(a), std::get<2>(a)) <
           std::tie(std::get<0>(b), std::get<1>(b), std::get<2>(b));
  });
  nlohmann::json list = nlohmann::json::array();
  for (auto& event : events) list.push_back(std::move(std::get<3>(event)));
  return {{"senders", senders}, {"stamps", stamps}, {"events", list}};
}

std::string StatusPage(const nlohmann::json& status) {
  std::string body =
      "<h1>Mailwarden status</h1>\n<h2>Credits</h2>\n<table border=\"1\">\n" + Row({"Sender", "Credit"}, "th");
  for (const auto& sender : status.at("senders")) body += Row({Text(sender.at("address")), Text(sender.at("credit"))});
  body += "</table>\n<h2>Events</h2>\n<table border=\"1\">\n" + Row({"Time", "Event", "Stamp", "Recipient"}, "th");
  for (const auto& event : status.at("events")) {
    body += Row({Text(event.at("time")), Text(event.at("type")), Text(event.at("stamp")), Text(event.at("recipient"))});
  }
  body += "</table>\n<h2>Stamps</h2>\n<table border=\"1\">\n" +
          Row({"Stamp", "Kind", "Sender", "Recipient", "Subject", "Issued"}, "th");
  for (const auto& stamp : status.at("stamps")) {
    body += Row({Text(stamp.at("stamp")), Text(stamp.at("kind")), Text(stamp.at("sender")), Text(stamp.at("recipient")),
                 Text(stamp.at("subject")), Text(stamp.at("issued"))});
  }
  return Page("Mailwarden status", body + "</table>\n<p><a href=\"/status.json\">As JSON</a></p>");
}

}  // namespace mailwarden

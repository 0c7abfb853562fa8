// The sender's data for scripts (JSON) and spreadsheets (CSV).
#include <memory>
#include <nlohmann/json.hpp>

#include "service/pages/pages.h"
#include "service/pages/summary.h"
#include "service/pages/web_text.h"

namespace mailwarden::pages {

namespace {

constexpr int kLargestApiPage = 500;
// Messages per piece of the CSV export: each holds every event of its
// recipients (a few hundred rows per recipient at most).
constexpr int kExportBatch = 20;

std::string Sent(const store::MessageView& message) {
  return message.sentDate + " " + message.sentTime;
}

nlohmann::json MessageJson(const store::MessageView& message) {
  nlohmann::json recipients = nlohmann::json::array();
  std::size_t number = 0;
  for (const store::RecipientView& recipient : message.recipients) {
    ++number;
    nlohmann::json events = nlohmann::json::array();
    for (const store::Event& event : recipient.events) {
      events.push_back({{"type", TypeName(event.type)},
                        {"class", ClassName(event.eventClass)},
                        {"reason", event.reason},
                        {"time", IsoTime(event.time)},
                        {"ip", event.ip},
                        {"userAgent", event.userAgent},
                        {"count", event.count}});
    }
    // The add-in's requests do not say whether a recipient was To, Cc or
    // Bcc, so the service does not know it.
    // The events are a page of the timeline, the newest; "olderEvents" asks for the page before.
    const std::int64_t older = OlderThan(recipient);
    recipients.push_back(
        {{"address", recipient.address},
         {"name", recipient.name},
         {"copy", nullptr},
         {"cancelled", recipient.cancelled},
         {"eventTotal", TimelineRows(recipient)},
         {"events", std::move(events)},
         {"olderEvents", older ? nlohmann::json("/cvx/api/messages/" + std::to_string(message.id) + "?recipient=" +
                                                std::to_string(number) + "&events_before=" + std::to_string(older))
                               : nlohmann::json(nullptr)}});
  }
  const std::string kind = KindName(message);
  return {{"id", message.id},
          {"subject", message.subject},
          {"kind", kind.empty() ? nlohmann::json(nullptr) : nlohmann::json(kind)},
          {"sent", Sent(message)},
          {"issued", IsoTime(message.issued)},
          {"recipients", std::move(recipients)}};
}

http::Reply JsonReply(int status, const nlohmann::json& value) {
  http::Reply reply;
  reply.status = status;
  reply.Set("Content-Type", "application/json; charset=utf-8");
  AddSecurityHeaders(reply, true);
  reply.body = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  return reply;
}

// A spreadsheet must not take a recipient's text for a formula.
std::string CsvField(std::string_view text) {
  const bool formula = !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
  std::string value = formula ? "'" : "";
  value += text;
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

void CsvRow(std::string& out, std::initializer_list<std::string_view> fields) {
  bool first = true;
  for (std::string_view field : fields) {
    if (!first) out += ',';
    out += CsvField(field);
    first = false;
  }
  out += "\r\n";
}

}  // namespace

http::Reply Pages::Api(const http::Request& request) {
  if (request.method != "GET" && request.method != "HEAD") {
    http::Reply reply = JsonReply(405, {{"error", "Only GET is allowed here."}});
    reply.Set("Allow", "GET");
    return reply;
  }
  const auto sender = CurrentSender(store_, request, Now());
  if (!sender) {
    http::Reply reply = JsonReply(401, {{"error", "Sign in at /cvx/ first."}});
    reply.Set("WWW-Authenticate", "Cookie realm=\"Mailwarden\"");
    return reply;
  }
  const std::string_view path = request.path;
  constexpr std::string_view kMessages = "/cvx/api/messages";
  if (path == kMessages) {
    auto fields = ParseFields(request.query);
    store::MessageQuery query;
    query.accountId = sender->account.id;
    query.search = fields["q"].substr(0, kLongestSearch);
    query.beforeId = ParseId(fields["before"]);
    const std::int64_t limit = ParseId(fields["limit"]);
    const int pageSize = limit ? static_cast<int>(std::min<std::int64_t>(limit, kLargestApiPage)) : options_.pageSize;
    query.limit = pageSize + 1;
    auto messages = store_.ListMessages(query);
    const bool more = messages.size() > static_cast<std::size_t>(pageSize);
    if (more) messages.resize(pageSize);
    nlohmann::json list = nlohmann::json::array();
    for (const store::MessageView& message : messages) list.push_back(MessageJson(message));
    nlohmann::json answer = {{"messages", std::move(list)}};
    if (more) {
      std::string next = std::string(kMessages) + "?before=" + std::to_string(messages.back().id) +
                         "&limit=" + std::to_string(pageSize);
      if (!query.search.empty()) next += "&q=" + QueryEscape(query.search);
      answer["next"] = next;
    }
    return JsonReply(200, answer);
  }
  if (path.substr(0, kMessages.size() + 1) == std::string(kMessages) + "/") {
    const std::int64_t id = ParseId(path.substr(kMessages.size() + 1));
    const auto message =
        id ? store_.GetMessage(sender->account.id, id, TimelineAsked(ParseFields(request.query))) : std::nullopt;
    if (message) return JsonReply(200, MessageJson(*message));
  }
  return JsonReply(404, {{"error", "No such message."}});
}

http::Reply Pages::Export(const SignedIn& sender) {
  http::Reply reply;
  reply.Set("Content-Type", "text/csv; charset=utf-8");
  reply.Set("Content-Disposition", "attachment; filename=\"mailwarden-messages.csv\"");
  AddSecurityHeaders(reply, true);
  // The byte-order mark tells a spreadsheet the file is UTF-8: without it
  // Excel on Windows reads it in the system's code page and breaks accents.
  reply.body = "\xEF\xBB\xBF";
  CsvRow(reply.body, {"message", "sent", "stamped", "subject", "kind", "recipient", "name", "copy", "event", "class",
                      "time", "ip", "user_agent", "reason"});
  // The rows of a few messages at a time, read from the store as they are
  // sent: a sender's whole history is never held at once.
  auto query = std::make_shared<store::MessageQuery>();
  query->accountId = sender.account.id;
  query->limit = kExportBatch;
  query->events.limit = -1;  // every event
  auto done = std::make_shared<bool>(false);
  reply.more = [&store = store_, query, done]() {
    std::string csv;
    if (*done) return csv;
    const auto messages = store.ListMessages(*query);
    for (const store::MessageView& message : messages) {
      const std::string id = std::to_string(message.id);
      const std::string sent = Sent(message);
      const std::string stamped = IsoTime(message.issued);
      const std::string kind = KindName(message);
      for (const store::RecipientView& recipient : message.recipients) {
        if (recipient.events.empty()) {
          CsvRow(csv, {id, sent, stamped, message.subject, kind, recipient.address, recipient.name, "", "", "", "", "",
                       "", ""});
        }
        for (const store::Event& event : recipient.events) {
          CsvRow(csv,
                 {id, sent, stamped, message.subject, kind, recipient.address, recipient.name, "", TypeName(event.type),
                  ClassName(event.eventClass), IsoTime(event.time), event.ip, event.userAgent, event.reason});
        }
      }
    }
    *done = messages.size() < static_cast<std::size_t>(kExportBatch);
    if (!messages.empty()) query->beforeId = messages.back().id;
    return csv;
  };
  return reply;
}

}  // namespace mailwarden::pages

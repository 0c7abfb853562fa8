#include "devservice/state.h"

namespace mailwarden {
namespace {

nlohmann::json ToJson(const StampRecord& record) {
  nlohmann::json json = {
      {"sender", record.sender},   {"recipient", record.recipient}, {"recipientName", record.recipientName},
      {"subject", record.subject}, {"date", record.date},           {"time", record.time},
      {"kind", record.kind},       {"issued", record.issued},
  };
  if (record.kind == kKindCertified) {
    json["fromName"] = record.fromName;
    json["content"] = record.content;
    json["isHTML"] = record.isHtml;
    json["cancelled"] = record.cancelled;
  }
  return json;
}

StampRecord RecordFromJson(const nlohmann::json& json) {
  StampRecord record;
  record.sender = json.at("sender").get<std::string>();
  record.recipient = json.at("recipient").get<std::string>();
  record.recipientName = json.value("recipientName", "");
  record.subject = json.value("subject", "");
  record.date = json.value("date", "");
  record.time = json.value("time", "");
  record.kind = json.at("kind").get<std::string>();
  record.issued = json.value("issued", "");
  record.fromName = json.value("fromName", "");
  record.content = json.value("content", "");
  record.isHtml = json.value("isHTML", false);
  record.cancelled = json.value("cancelled", false);
  return record;
}

}  // namespace

nlohmann::json ToJson(const State& state) {
  nlohmann::json senders = nlohmann::json::array();
  for (const auto& [address, credit] : state.credits) senders.push_back({{"address", address}, {"credit", credit}});
  nlohmann::json stamps = nlohmann::json::object();
  for (const auto& [stamp, record] : state.stamps) stamps[stamp] = ToJson(record);
  nlohmann::json events = nlohmann::json::array();
  for (const Event& event : state.events) {
    events.push_back(
        {{"type", event.type}, {"stamp", event.stamp}, {"recipient", event.recipient}, {"time", event.time}});
  }
  return {{"version", 1}, {"senders", senders}, {"stamps", stamps}, {"events", events}};
}

State FromJson(const nlohmann::json& json) {
  State state;
  for (const auto& sender : json.at("senders")) {
    state.credits[sender.at("address").get<std::string>()] = sender.at("credit").get<int>();
  }
  for (const auto& [stamp, record] : json.at("stamps").items()) state.stamps[stamp] = RecordFromJson(record);
  for (const auto& event : json.at("events")) {
    state.events.push_back({event.at("type").get<std::string>(), event.at("stamp").get<std::string>(),
                            event.value("recipient", ""), event.value("time", "")});
  }
  return state;
}

}  // namespace mailwarden

#pragma once
// Everything the service keeps: credits, stamps with their certified
// messages, and the event log. All text is UTF-8.
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace mailwarden {

inline constexpr const char* kKindTracked = "tracked";
inline constexpr const char* kKindCertified = "certified";

inline constexpr const char* kEventStampIssued = "stamp issued";
inline constexpr const char* kEventImageFetched = "image fetched";
inline constexpr const char* kEventReceiptClicked = "receipt clicked";
inline constexpr const char* kEventRead = "read";
inline constexpr const char* kEventCancelled = "cancelled";

struct StampRecord {
  std::string sender;  // the sender's address, lower case
  std::string recipient;
  std::string recipientName;
  std::string subject;
  std::string date;  // "yyyy-mm-dd" and "hh:mm:ss" as the add-in sent them
  std::string time;
  std::string kind;    // kKindTracked or kKindCertified
  std::string issued;  // when the service issued it
  // Certified mail only.
  std::string fromName;
  std::string content;
  bool isHtml = false;
  bool cancelled = false;
};

struct Event {
  std::string type;
  std::string stamp;
  std::string recipient;
  std::string time;
};

struct State {
  std::map<std::string, int> credits;  // by sender address, lower case
  std::map<std::string, StampRecord> stamps;
  std::vector<Event> events;
};

// The data file's form, with the certified messages.
nlohmann::json ToJson(const State& state);
// Throws nlohmann::json::exception on a malformed document.
State FromJson(const nlohmann::json& json);

}  // namespace mailwarden

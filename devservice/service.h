#pragma once
// The tracking service's state and rules: credits per sender, stamps, the
// certified messages and what recipients did with them. Thread-safe; with a
// data file every change is saved before it is answered.
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "devservice/recipients.h"
#include "devservice/state.h"

namespace mailwarden {

struct Options {
  int startingCredit = 100;
  std::string dataFile;  // empty: nothing kept across restarts
};

// The message that stamps are issued for.
struct Letter {
  std::string sender;
  std::string subject;
  std::string date;
  std::string time;
  // Certified mail keeps the message itself for the read link.
  bool certified = false;
  std::string fromName;
  std::string content;
  bool isHtml = false;
};

enum class Lookup { kFound, kUnknown, kNotCertified, kCancelled };

struct Reading {
  Lookup result = Lookup::kUnknown;
  StampRecord record;
};

class Service {
 public:
  // Loads the data file when it exists; throws std::runtime_error when it
  // cannot be read.
  explicit Service(Options options);

  int StartingCredit() const { return options_.startingCredit; }

  // A sender not seen before starts with the starting credit. An empty
  // address throws BadRequest.
  int Credit(const std::string& sender);
  void SetCredit(const std::string& sender, int credit);

  // One stamp per recipient, in order; one credit each. Throws BadRequest
  // when the credit does not cover them all (nothing is issued then).
  std::vector<std::string> IssueStamps(const Letter& letter, const std::vector<Recipient>& recipients);

  // False for a stamp the service never issued.
  bool RecordImage(const std::string& stamp);
  // The stamp's record; nothing for a stamp the service never issued.
  std::optional<StampRecord> RecordReceipt(const std::string& stamp);

  // The certified message of the stamp; records a read when it is found.
  Reading Read(const std::string& stamp);
  // Deletes the message of the stamp and records the cancellation; a second
  // cancel finds it kCancelled.
  Reading Cancel(const std::string& stamp);

  State Snapshot() const;
  // What /status.json shows: senders, stamps (without message content), events.
  nlohmann::json Status() const;

 private:
  // Runs change on the state and saves it; when saving fails the state is
  // put back and the failure thrown, so nothing is answered that was not kept.
  template <class Change>
  auto Apply(Change&& change);
  int& CreditOf(const std::string& sender);
  std::string NewStamp();
  void AddEvent(const char* type, const std::string& stamp, const std::string& recipient);
  void Save() const;

  Options options_;
  mutable std::mutex mutex_;
  State state_;
  std::mt19937_64 random_;
};

// The current time in UTC, "yyyy-mm-ddThh:mm:ssZ".
std::string NowText();

}  // namespace mailwarden

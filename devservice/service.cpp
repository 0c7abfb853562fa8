#include "devservice/service.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "devservice/bad_request.h"
#include "devservice/charset.h"

namespace mailwarden {
namespace {

// The oldest events are dropped beyond this, so a busy link cannot grow the log without end.
constexpr std::size_t kMaxEvents = 10000;
constexpr int kStampLength = 16;
constexpr char kStampSymbols[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

State Load(const std::string& path) {
  if (path.empty() || !std::filesystem::exists(path)) return {};
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  try {
    return FromJson(nlohmann::json::parse(in));
  } catch (const nlohmann::json::exception& error) {
    throw std::runtime_error(path + " is not a data file of mailwarden-dev: " + error.what());
  }
}

}  // namespace

std::string NowText() {
  std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

Service::Service(Options options)
    : options_(std::move(options)), state_(Load(options_.dataFile)), random_(std::random_device{}()) {}

template <class Change>
auto Service::Apply(Change&& change) {
  std::lock_guard lock(mutex_);
  if (options_.dataFile.empty()) return change();
  State before = state_;
  try {
    auto result = change();
    Save();
    return result;
  } catch (...) {
    state_ = std::move(before);
    throw;
  }
}

int& Service::CreditOf(const std::string& sender) {
  if (sender.empty()) throw BadRequest("Missing sender address.");
  return state_.credits.try_emplace(LowerAscii(sender), options_.startingCredit).first->second;
}

int Service::Credit(const std::string& sender) {
  {
    std::lock_guard lock(mutex_);
    if (sender.empty()) throw BadRequest("Missing sender address.");
    auto known = state_.credits.find(LowerAscii(sender));
    if (known != state_.credits.end()) return known->second;
  }
  return Apply([&] { return CreditOf(sender); });
}

void Service::SetCredit(const std::string& sender, int credit) {
  Apply([&] { return CreditOf(sender) = credit; });
}

std::vector<std::string> Service::IssueStamps(const Letter& letter, const std::vector<Recipient>& recipients) {
  return Apply([&] {
    int& credit = CreditOf(letter.sender);
    if (recipients.empty()) throw BadRequest("No recipients.");
    if (credit < static_cast<long long>(recipients.size())) throw BadRequest("Insufficient credit.");
    std::vector<std::string> stamps;
    std::string issued = NowText();
    for (const Recipient& recipient : recipients) {
      StampRecord record;
      record.sender = LowerAscii(letter.sender);
      record.recipient = recipient.address;
      record.recipientName = recipient.name;
      record.subject = letter.subject;
      record.date = letter.date;
      record.time = letter.time;
      record.kind = letter.certified ? kKindCertified : kKindTracked;
      record.issued = issued;
      if (letter.certified) {
        record.fromName = letter.fromName;
        record.content = letter.content;
        record.isHtml = letter.isHtml;
      }
      std::string stamp = NewStamp();
      state_.stamps.emplace(stamp, std::move(record));
      AddEvent(kEventStampIssued, stamp, recipient.address);
      --credit;
      stamps.push_back(std::move(stamp));
    }
    return stamps;
  });
}

bool Service::RecordImage(const std::string& stamp) {
  return Apply([&] {
    auto found = state_.stamps.find(stamp);
    if (found == state_.stamps.end()) return false;
    AddEvent(kEventImageFetched, stamp, found->second.recipient);
    return true;
  });
}

std::optional<StampRecord> Service::RecordReceipt(const std::string& stamp) {
  return Apply([&]() -> std::optional<StampRecord> {
    auto found = state_.stamps.find(stamp);
    if (found == state_.stamps.end()) return std::nullopt;
    AddEvent(kEventReceiptClicked, stamp, found->second.recipient);
    return found->second;
  });
}

Reading Service::Read(const std::string& stamp) {
  return Apply([&] {
    auto found = state_.stamps.find(stamp);
    if (found == state_.stamps.end()) return Reading{};
    const StampRecord& record = found->second;
    if (record.kind != kKindCertified) return Reading{Lookup::kNotCertified, record};
    if (record.cancelled) return Reading{Lookup::kCancelled, record};
    AddEvent(kEventRead, stamp, record.recipient);
    return Reading{Lookup::kFound, record};
  });
}

Reading Service::Cancel(const std::string& stamp) {
  return Apply([&] {
    auto found = state_.stamps.find(stamp);
    if (found == state_.stamps.end()) return Reading{};
    StampRecord& record = found->second;
    if (record.kind != kKindCertified) return Reading{Lookup::kNotCertified, record};
    if (record.cancelled) return Reading{Lookup::kCancelled, record};
    record.cancelled = true;
    record.content.clear();
    AddEvent(kEventCancelled, stamp, record.recipient);
    return Reading{Lookup::kFound, record};
  });
}

State Service::Snapshot() const {
  std::lock_guard lock(mutex_);
  return state_;
}

nlohmann::json Service::Status() const {
  State state = Snapshot();
  nlohmann::json status = ToJson(state);
  nlohmann::json stamps = nlohmann::json::array();
  for (const auto& [stamp, record] : state.stamps) {
    nlohmann::json entry = {{"stamp", stamp},
                            {"sender", record.sender},
                            {"recipient", record.recipient},
                            {"recipientName", record.recipientName},
                            {"subject", record.subject},
                            {"kind", record.kind},
                            {"issued", record.issued}};
    if (record.kind == kKindCertified) entry["cancelled"] = record.cancelled;
    stamps.push_back(std::move(entry));
  }
  status["stamps"] = std::move(stamps);
  status.erase("version");
  return status;
}

std::string Service::NewStamp() {
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kStampSymbols - 2);
  for (;;) {
    std::string stamp;
    for (int i = 0; i < kStampLength; ++i) stamp += kStampSymbols[pick(random_)];
    if (!state_.stamps.contains(stamp)) return stamp;
  }
}

void Service::AddEvent(const char* type, const std::string& stamp, const std::string& recipient) {
  state_.events.push_back({type, stamp, recipient, NowText()});
  if (state_.events.size() > kMaxEvents) state_.events.erase(state_.events.begin());
}

void Service::Save() const {
  const std::string& path = options_.dataFile;
  std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << ToJson(state_).dump(1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    out.flush();
    if (!out) throw std::runtime_error("cannot write " + temporary);
  }
  std::filesystem::rename(temporary, path);
}

}  // namespace mailwarden

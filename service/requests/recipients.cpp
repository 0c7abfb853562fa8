#include "service/requests/recipients.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>
#include <utility>

#include "service/requests/bad_request.h"

namespace mailwarden {
namespace {

int SymbolValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= '0' && c <= '9') return c - '0' + 26;
  if (c >= 'a' && c <= 'z') return c - 'a' + 36;
  return -1;
}

// Cuts at single spaces; every piece must be followed by its space.
std::vector<std::string_view> SplitTerminated(std::string_view list) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t space = list.find(' ', start);
    if (space == std::string_view::npos) throw BadRequest("Malformed name list.");
    pieces.push_back(list.substr(start, space - start));
    if (pieces.size() > kMaxRecipients) throw BadRequest(kTooManyRecipients, "recipients");
    start = space + 1;
  }
  return pieces;
}

// Finds where each recipient's address ends. A recipient's address is either
// one word or, when the display name stood in for it, that whole name. The
// search remembers the places that led nowhere, and gives up past a fixed
// budget of steps and compared bytes: lists made to branch at every name
// would otherwise cost time and memory far beyond their size.
class AddressSplitter {
 public:
  AddressSplitter(std::string_view list, const std::vector<std::string>& names) : list_(list), names_(names) {}

  bool Split(std::size_t index, std::size_t pos, std::vector<std::string>& out) {
    if (index == names_.size()) return pos == list_.size();
    if (++steps_ > kMaxSteps) GiveUp();
    const std::uint64_t state = static_cast<std::uint64_t>(index) * (list_.size() + 1) + pos;
    if (failed_.count(state)) return false;
    const std::string& name = names_[index];
    if (name.find(' ') != std::string::npos && list_.size() - pos > name.size()) {
      Spend(name.size());
      if (list_.substr(pos, name.size()) == name && list_[pos + name.size()] == ' ') {
        out.push_back(name);
        if (Split(index + 1, pos + name.size() + 1, out)) return true;
        out.pop_back();
      }
    }
    std::size_t space = list_.find(' ', pos);
    Spend((space == std::string_view::npos ? list_.size() : space) - pos);
    if (space != std::string_view::npos && space > pos) {
      out.emplace_back(list_.substr(pos, space - pos));
      if (Split(index + 1, space + 1, out)) return true;
      out.pop_back();
    }
    failed_.insert(state);
    return false;
  }

 private:
  void Spend(std::size_t bytes) {
    compared_ += bytes;
    if (compared_ > kMaxCompared) GiveUp();
  }
  [[noreturn]] static void GiveUp() { throw BadRequest("Address list does not match the name list."); }

  // Far above what a real list needs: there, names standing in for addresses
  // are rare and the first choice nearly always holds.
  static constexpr std::size_t kMaxSteps = 20'000;
  static constexpr std::size_t kMaxCompared = 1 << 20;

  std::string_view list_;
  const std::vector<std::string>& names_;
  std::unordered_set<std::uint64_t> failed_;
  std::size_t steps_ = 0;
  std::size_t compared_ = 0;
};

}  // namespace

std::string DecodeName(std::string_view encoded) {
  if (encoded.size() % 2 != 0) throw BadRequest("Malformed name list.");
  std::string name;
  for (std::size_t i = 0; i < encoded.size(); i += 2) {
    int high = SymbolValue(encoded[i]);
    int low = SymbolValue(encoded[i + 1]);
    if (high < 0 || low < 0 || high * 62 + low > 255) throw BadRequest("Malformed name list.");
    name += static_cast<char>(static_cast<std::uint8_t>(high * 62 + low));
  }
  return name;
}

void CheckListSizes(std::string_view addressList, std::string_view nameList, std::size_t longest) {
  if (addressList.size() > longest || nameList.size() > longest) {
    throw BadRequest("The recipient list is too long.", "recipients");
  }
  if (static_cast<std::size_t>(std::count(nameList.begin(), nameList.end(), ' ')) > kMaxRecipients) {
    throw BadRequest(kTooManyRecipients, "recipients");
  }
}

std::vector<Recipient> ParseRecipients(std::string_view addressList, std::string_view nameList) {
  std::vector<std::string> names;
  for (std::string_view encoded : SplitTerminated(nameList)) names.push_back(DecodeName(encoded));
  if (names.empty()) throw BadRequest("No recipients.");

  std::vector<std::string> addresses;
  AddressSplitter splitter(addressList, names);
  if (!splitter.Split(0, 0, addresses)) throw BadRequest("Address list does not match the name list.");

  std::vector<Recipient> recipients;
  for (std::size_t i = 0; i < names.size(); ++i) recipients.push_back({addresses[i], names[i]});
  return recipients;
}

}  // namespace mailwarden

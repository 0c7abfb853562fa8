#pragma once
// The sender's own copies of what a send hands to Outlook. Outlook files each
// sent message in Sent Items some time after the transport has taken it (and
// only when the user keeps copies of sent mail); that copy carries the
// recipient's tracked address, so the sender opening it would look like the
// recipient. The send says which addresses are on their way; when a copy
// with one of them arrives, the address in it is marked as the sender's own
// ("&own=1"), which the service counts as the sender. What leaves for the
// recipient is never touched.
#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace corvanta::sending {

// The field a marked address ends with.
inline constexpr const char* kOwnField = "&own=1";

// The tracked address of an insert for this stamp: the insert's head ends
// with the start of an attribute's address (the text after its last quote).
// Empty when the head holds no address.
std::string InsertAddress(const std::string& head, const std::string& stamp);

class OwnCopies {
 public:
  // Copies that never arrive (the user keeps no copies) are forgotten
  // after this many newer ones.
  static constexpr std::size_t kMaxExpected = 500;

  // A message with this address in a quoted attribute is being handed for delivery.
  void Expect(const std::string& address);
  bool Expecting() const { return !expected_.empty(); }

  // The HTML of a copy that arrived in Sent Items with the first expected
  // address in it marked as the sender's own, or nothing when it holds none;
  // that address is no longer expected.
  std::optional<std::string> Mark(const std::string& html);

 private:
  std::deque<std::string> expected_;
};

}  // namespace corvanta::sending

#pragma once
// The token in the recipients' forms (the read receipt, the certified read,
// the cancellation): an HMAC of what the form does and its stamp under the
// service's key, so a form filled in for one stamp does nothing for another,
// and no page but the service's own can make one.
#include <mutex>
#include <string>
#include <string_view>

#include "service/store/store.h"

namespace mailwarden {

// A new random key, as hex.
std::string NewFormKey();

// The service's key for the forms, shared by its processes through the
// store; read at its first use, so a database down at start-up costs only
// the requests that need it.
class FormKey {
 public:
  explicit FormKey(store::Store& store) : store_(store) {}
  // Throws store::StoreError while the database does not answer.
  std::string Get();

 private:
  store::Store& store_;
  std::mutex mutex_;
  std::string key_;
};

// action: "receipt", "read" or "cancel".
std::string FormToken(std::string_view key, std::string_view action, std::string_view stamp);
bool FormTokenMatches(std::string_view key, std::string_view action, std::string_view stamp, std::string_view token);

}  // namespace mailwarden

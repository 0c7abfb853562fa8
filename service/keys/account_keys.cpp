#include "service/keys/account_keys.h"

namespace mailwarden::keys {

std::optional<std::string> MakeAddinKey(store::Store& store, const SealingKey& sealing, std::string_view address) {
  const corvanta::protocol::AddinKey key = NewAddinKey();
  if (!store.SetAddinKey(address, Seal(key, sealing))) return std::nullopt;
  return corvanta::protocol::AddinKeyText(key);
}

}  // namespace mailwarden::keys

#pragma once
// Making a sender's add-in key: the administrator's command and the
// sender's settings page both come here.
#include <optional>
#include <string>
#include <string_view>

#include "service/keys/sealing.h"
#include "service/store/store.h"

namespace mailwarden::keys {

// A new add-in key for the account, sealed in place of any before; its 64
// digits, for the sender to see once. Nothing when there is no such account.
std::optional<std::string> MakeAddinKey(store::Store& store, const SealingKey& sealing, std::string_view address);

}  // namespace mailwarden::keys

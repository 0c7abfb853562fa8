#pragma once
// The add-in key ("ServiceKey" beside "ServiceHost"): the secret this
// sender's requests are signed with, kept sealed with the user's own key
// where the platform can seal it.
#include <optional>
#include <string>

#include "host/registry.h"
#include "protocol/request_signature.h"

namespace corvanta::addin {

// Nothing when no key is set or the one set cannot be read; then every
// request goes unsigned. A key still in plain digits, as the setup program or
// the sender wrote it, is sealed in place the first time it is read.
std::optional<protocol::AddinKey> ReadServiceKey(host::Registry& registry, const std::string& key);

}  // namespace corvanta::addin

#pragma once
// A webhook's signing secret: shown to the sender once as "whsec_" and 64
// hexadecimal digits, kept in the database only sealed with the service's
// key (as the add-in keys are), so a stolen database cannot sign events
// that the sender's receiver would trust.
#include <optional>
#include <string>
#include <string_view>

#include "service/keys/sealing.h"

namespace mailwarden::notices {

struct WebhookSecret {
  std::string text;    // what the receiver checks signatures with
  std::string sealed;  // what the database keeps
};

WebhookSecret NewWebhookSecret(const keys::SealingKey& sealing);
// The secret's text; nothing when it was not sealed with this key.
std::optional<std::string> OpenWebhookSecret(std::string_view sealed, const keys::SealingKey& sealing);

}  // namespace mailwarden::notices

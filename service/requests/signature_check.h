#pragma once
// The add-in key's check of the stamp request, the credit query and the
// certified upload: a sender with a key (every sender under --require-keys)
// must have signed the request with that key, at a time within 10 minutes
// of the service's, and never sent that signature before.
#include <optional>
#include <string>
#include <string_view>

#include "protocol/request_signature.h"
#include "service/context.h"

namespace mailwarden {

inline constexpr const char* kNeedsAddinKey =
    "This service needs your add-in key. Make one under \"Add-in key\" on the settings page of your account at "
    "the service, and enter it where the add-in's setup asks for the \"Add-in key\".";

// The request as the add-in without a key sends it, and the signature after it, if any.
struct SignedText {
  std::string_view text;
  std::optional<corvanta::protocol::SignedRequest> signature;
};
SignedText TakeSignature(std::string_view request);

// Throws BadRequest unless the request may speak for sender. Checked before
// anything is spent, after the request is counted by the limits.
void CheckSender(Context& context, std::string_view sender, const SignedText& request);

// A new add-in key for the account, sealed in place of any before; its 64
// digits, for the sender to see once. Nothing when there is no such account.
std::optional<std::string> MakeAddinKey(store::Store& store, const keys::SealingKey& sealing, std::string_view address);

}  // namespace mailwarden

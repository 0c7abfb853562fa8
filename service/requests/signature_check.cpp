#include "service/requests/signature_check.h"

#include "service/requests/bad_request.h"

namespace mailwarden {
namespace {

// How far the add-in's clock may be from the service's, either way.
constexpr std::int64_t kWindowSeconds = 600;
constexpr store::Time kSecond = 1000000;

}  // namespace

SignedText TakeSignature(std::string_view request) {
  auto signature = corvanta::protocol::SplitSignature(request);
  if (!signature) return {request, std::nullopt};
  return {signature->unsignedText, signature};
}

void CheckSender(Context& context, std::string_view sender, const SignedText& request) {
  const std::optional<store::Account> account = context.store.FindAccount(sender);
  const bool hasKey = account && !account->addinKey.empty();
  if (!hasKey && !context.options.requireKeys) return;
  if (!hasKey || !request.signature) throw BadRequest(kNeedsAddinKey, "key");
  const auto key = keys::Open(account->addinKey, *context.options.sealingKey);
  // A key sealed with another service key is as good as none.
  if (!key || !corvanta::protocol::CheckSignature(*request.signature, *key)) throw BadRequest(kNeedsAddinKey, "key");

  const store::Time now = context.Now();
  const std::int64_t nowSeconds = now / kSecond;
  const std::int64_t time = request.signature->time;
  if (time < nowSeconds - kWindowSeconds || time > nowSeconds + kWindowSeconds) {
    throw BadRequest(
        "The clock of this computer is more than 10 minutes off. Please set its date, time and time zone right and "
        "try again.",
        "key-time");
  }
  // Good until its time is too old; remembered that long.
  const std::string signature(request.signature->signature);
  if (!context.store.RememberSignature(signature, (time + kWindowSeconds) * kSecond, now)) {
    throw BadRequest("This request was received before.", "key-replay");
  }
}

}  // namespace mailwarden

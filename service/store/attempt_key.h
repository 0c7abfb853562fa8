#pragma once
// What the attempt counters are keyed by: a short hash of the address or IP,
// never the text as sent, so a counter row has a fixed size whatever a
// client sends, and the table names no one.
#include <string>
#include <string_view>

namespace mailwarden::store {

// 32 hex digits (BLAKE2b, 128 bits).
std::string AttemptKey(std::string_view text);

// A second key for the same client, for its failures of the last moments
// (counted in short windows beside the long ones).
std::string RecentAttemptKey(std::string_view text);

// The kind under which the failed sign-ins for one address are counted, keyed
// by the failing client; forgotten as a whole when the account is unlocked.
std::string SignInFailureKind(std::string_view address);

}  // namespace mailwarden::store

#pragma once
// The stamps of a successful stamp or upload reply, and the check that each
// recipient's stamp can go unescaped into a link before anything is sent.
#include <string>
#include <vector>

namespace corvanta::sending {

// The reply from its fourth character on, without a line break that ends
// it, split at every single blank; an empty payload gives no stamps.
std::vector<std::string> SplitStamps(const std::string& reply);

// Whether a stamp is safe unescaped in a URL query and inside a double-quoted
// HTML attribute: non-empty, without blanks, control characters, the marks
// " < > # and backslash, or characters outside ASCII.
bool IsSafeStamp(const std::string& stamp);

// Empty when stamps 1 to n are all present and safe (extra stamps are
// ignored); otherwise the message that tells the user why nothing was sent.
std::string StampProblem(const std::vector<std::string>& stamps, int recipientCount);

}  // namespace corvanta::sending

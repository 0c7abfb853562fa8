#pragma once
// What a request of this add-in ends with: "&kt=...&ks=..." when the sender
// has an add-in key, nothing at all when not, so that an add-in without a key
// sends every request byte for byte as before.
#include <string>

#include "addin/connect.h"

namespace corvanta::sending {

// request: the query or form body as composed, every field included.
std::string RequestSignature(Connect& addin, const std::string& request);

}  // namespace corvanta::sending

#pragma once
// The recipients of a message as both service requests send them: the
// address list (each SMTP address, or the display name when there is none)
// and the name list (each display name in base 62), every entry followed by
// one blank.
#include <string>

#include "host/redemption.h"

namespace corvanta {
class Connect;
}

namespace corvanta::sending {

struct RecipientLists {
  std::string addresses;
  std::string names;
  // Empty when the lists are complete; otherwise the request's own "qx;" result.
  std::string refusal;
};

RecipientLists CollectRecipients(Connect& connect, host::SafeMailItem& item);

// The SMTP address of an entry, or its display name when it has none.
std::string AddressOrName(Connect& connect, host::AddressEntry& entry);

}  // namespace corvanta::sending

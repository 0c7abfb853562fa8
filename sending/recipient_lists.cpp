#include "sending/recipient_lists.h"

#include "addin/connect.h"
#include "protocol/encoding.h"

namespace corvanta::sending {

std::string AddressOrName(Connect& connect, host::AddressEntry& entry) {
  std::string address = connect.GetSmtpAddress(entry);
  return address.empty() ? entry.Name() : address;
}

RecipientLists CollectRecipients(Connect& connect, host::SafeMailItem& item) {
  RecipientLists lists;
  auto recipients = item.Recipients();
  const int count = recipients->Count();
  if (count < 1) {
    lists.refusal = "qx;No recipient addresses found";
    return lists;
  }
  for (int i = 1; i <= count; ++i) {
    auto recipient = recipients->Item(i);
    std::string address = connect.GetSmtpAddress(*recipient);
    const std::string name = recipient->Name();
    if (address.empty()) {
      if (name.empty()) {
        lists = {};
        lists.refusal = "qx;Empty recipient address. (" + std::to_string(i) + ")";
        return lists;
      }
      address = name;
    }
    lists.addresses += address + " ";
    lists.names += protocol::s256to62(name, connect.platform.codePage) + " ";
  }
  return lists;
}

}  // namespace corvanta::sending

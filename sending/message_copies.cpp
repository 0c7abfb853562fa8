#include "sending/message_copies.h"

#include <algorithm>

#include "host/error.h"

namespace corvanta::sending {

std::shared_ptr<host::MailItem> ActiveMailItem(host::Application* outlook) {
  if (!outlook) throw host::Error("Outlook is not connected");
  auto inspector = outlook->ActiveInspector();
  if (!inspector) throw host::Error("No item window is active");
  auto item = inspector->CurrentItem();
  if (!item || item->Class() != host::olMail) throw host::Error("The active item is not a mail item");
  return item;
}

void KeepOnlyRecipient(host::SafeMailItem& copy, int i, int n) {
  int removals = 0;
  for (int j = 1; j <= n; ++j) {
    if (j == i) continue;
    copy.Recipients()->Item(j - removals)->Delete();
    ++removals;
  }
}

DraftCopies::~DraftCopies() {
  for (const auto& copy : held_) {
    try {
      copy->Delete();
    } catch (...) {
      // The send's own failure is what the user hears of; a copy that cannot
      // be deleted stays where it is.
    }
  }
}

std::shared_ptr<host::MailItem> DraftCopies::Hold(std::shared_ptr<host::MailItem> copy) {
  held_.push_back(copy);
  return copy;
}

void DraftCopies::Let(const std::shared_ptr<host::MailItem>& copy) {
  std::erase(held_, copy);
}

}  // namespace corvanta::sending

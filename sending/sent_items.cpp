// Sent Items, where Outlook files a copy of each message after the transport
// has taken it: the copies of tracked messages are marked as the sender's own.
#include <optional>

#include "addin/connect.h"

namespace corvanta {

void Connect::WatchSentItems() {
  if (goSentItems) return;
  // Without Sent Items' events the send goes on: its copies stay unmarked,
  // as they were before the add-in marked them.
  try {
    if (!goOutlook) return;
    std::shared_ptr<host::Items> items =
        goOutlook->GetNamespace("MAPI")->GetDefaultFolder(host::olFolderSentMail)->GetItems();
    if (!items) return;
    sentItemsEvents = items->OnItemAdd([this](std::shared_ptr<host::MailItem> item) {
      try {
        goSentItems_ItemAdd(std::move(item));
      } catch (...) {
        // A copy that can no longer be changed (the user moved or deleted
        // it meanwhile, the store refuses) stays as it is; nothing may
        // travel back into Outlook from an event.
      }
    });
    goSentItems = std::move(items);
  } catch (...) {
    sentItemsEvents.reset();
  }
}

void Connect::goSentItems_ItemAdd(std::shared_ptr<host::MailItem> item) {
  if (!ownCopies.Expecting() || !item || item->Class() != host::olMail) return;
  // Reading the body through Outlook would ask the user; Redemption does not.
  std::shared_ptr<host::SafeMailItem> safe = platform.redemption.CreateSafeMailItem();
  safe->SetItem(item);
  const std::optional<std::string> marked = ownCopies.Mark(safe->HTMLBody());
  if (!marked) return;
  item->SetHTMLBody(*marked);
  item->Save();
}

}  // namespace corvanta

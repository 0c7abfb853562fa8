#pragma once
// The message being sent and the per-recipient copies made of it.
#include <memory>
#include <vector>

#include "host/outlook.h"
#include "host/redemption.h"

namespace corvanta::sending {

// The current item of the active Inspector; throws when there is no item
// window or its item is not a mail item.
std::shared_ptr<host::MailItem> ActiveMailItem(host::Application* outlook);

// Removes every recipient of a copy of an n-recipient message but recipient
// i. Positions close up after each deletion, so recipient j sits at j minus
// the removals made so far.
void KeepOnlyRecipient(host::SafeMailItem& copy, int i, int n);

// The copies a send makes of the composed message, while they are drafts of
// its own: a send that ends early deletes those still held, so nothing
// half-made (a recipient's copy with its stamp, the notification template
// addressed to everyone) stays in Drafts beside the user's message. Delete
// moves them to Deleted Items, nothing more.
class DraftCopies {
 public:
  DraftCopies() = default;
  ~DraftCopies();  // deletes the copies still held; one that cannot be deleted stays
  DraftCopies(const DraftCopies&) = delete;
  DraftCopies& operator=(const DraftCopies&) = delete;

  // Holds a new copy and gives it back.
  std::shared_ptr<host::MailItem> Hold(std::shared_ptr<host::MailItem> copy);
  // The copy is no draft of the send's any more (it left, or it is the
  // sender's to keep): it is not deleted.
  void Let(const std::shared_ptr<host::MailItem>& copy);

 private:
  std::vector<std::shared_ptr<host::MailItem>> held_;
};

}  // namespace corvanta::sending

#pragma once
// The message being sent and the per-recipient copies made of it.
#include <memory>

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

}  // namespace corvanta::sending

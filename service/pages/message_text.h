#pragma once
// A message's subject, kind and recipients as the list and a message's page
// both show them, escaped for HTML.
#include <string>

#include "service/store/store.h"

namespace mailwarden::pages {

// "Name <address>", or the address alone.
std::string RecipientHtml(const store::RecipientView& recipient);
// The subject, or "(no subject)".
std::string SubjectHtml(const store::MessageView& message);
// The kind's name, or a note that a tracked one is known only once opened or confirmed.
std::string KindHtml(const store::MessageView& message);

}  // namespace mailwarden::pages

#include "service/pages/message_text.h"

#include "service/pages/summary.h"
#include "service/pages/web_text.h"

namespace mailwarden::pages {

std::string RecipientHtml(const store::RecipientView& recipient) {
  if (recipient.name.empty()) return Escape(recipient.address);
  return Escape(recipient.name) + " &lt;" + Escape(recipient.address) + "&gt;";
}

std::string SubjectHtml(const store::MessageView& message) {
  return message.subject.empty() ? "(no subject)" : Escape(message.subject);
}

std::string KindHtml(const store::MessageView& message) {
  const std::string kind = KindName(message);
  return kind.empty() ? "<span class=\"unknown\" title=\"Known once a recipient opens it or sends a receipt\">"
                        "Automatic or Request receipt</span>"
                      : Escape(kind);
}

}  // namespace mailwarden::pages

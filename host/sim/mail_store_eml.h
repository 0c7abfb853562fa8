#pragma once
// The GMime side of the mail store: one message to RFC 5322 text.
#include <string>

#include "host/sim/mail_store.h"

namespace host::sim {

struct EmlText {
  std::string text;
  std::string messageId;
};

// Date now, a fresh Message-ID; throws host::Error when GMime fails.
EmlText FormatEml(const MailMessage& message);

}  // namespace host::sim

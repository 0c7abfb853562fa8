#include "service/terms.h"

namespace mailwarden {

std::string BuiltInTerms() {
  return "TERMS OF USE AGREEMENT (TOUA)\r\n\r\n"
         "Mailwarden is a tracking service for e-mail. When you send a message through the Corvanta add-in, "
         "Mailwarden issues one stamp per recipient and charges one credit for each. With \"Automatic\" the "
         "message carries an invisible image, and with \"Request receipt\" a link, through which Mailwarden "
         "learns that the recipient opened the message or asked to confirm it. With \"Guaranteed\" the message "
         "itself is stored by Mailwarden until the recipient reads it or you cancel its delivery, and for no "
         "longer than 30 days. Mailwarden keeps the addresses, names, subjects and dates of the messages you "
         "track only to provide this service and shows them to no one but you. You agree not to use the service "
         "to send unsolicited or unlawful mail, and to tell your recipients that you track your messages where "
         "the law asks you to. The service is provided as it is, without warranty; Mailwarden is not liable for "
         "messages that are delayed, lost or not tracked. Credits are counted per sender and are not refunded. "
         "These terms may change; the add-in shows the current terms when it is installed.\r\n";
}

}  // namespace mailwarden

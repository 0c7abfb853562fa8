#pragma once
// What a Guaranteed send writes: the notification each recipient receives in
// place of the message, and the cancel notice heading the sender's kept copy.
#include <string>

namespace corvanta::sending {

// The read link's address: the service's certified-mail script with the stamp.
std::string ReadLink(const std::string& serviceHost, const std::string& stamp);
// The read link plus "&cmd=del": cancels the delivery to that recipient.
std::string CancelLink(const std::string& serviceHost, const std::string& stamp);

// The whole HTML body of recipient i's notification. The sender's name and
// address are written as given: the caller escapes them for HTML.
std::string NotificationBody(const std::string& serviceHost, const std::string& senderName,
                             const std::string& senderAddress, const std::string& stamp);

// Put in front of the kept copy's HTML body, or of its plain body when it has no HTML.
std::string HtmlCancelNotice(const std::string& cancelLink);
std::string PlainCancelNotice(const std::string& cancelLink);

}  // namespace corvanta::sending

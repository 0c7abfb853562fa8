#pragma once
// Mail to the operator's relay through libcurl's SMTP: smtp://host:port
// (STARTTLS when the relay offers it) or smtps://host:port.
#include <string>
#include <string_view>

namespace mailwarden::notices {

struct SmtpSettings {
  std::string url;  // empty: no mail is sent
  std::string user;
  std::string password;  // from the environment, never the command line
  std::string from;
};

// Empty when the relay took the mail; else what went wrong.
std::string SendMail(const SmtpSettings& smtp, std::string_view to, const std::string& message);

// Empty when url is an smtp:// or smtps:// URL with a host; else why not.
std::string CheckSmtpUrl(std::string_view url);

}  // namespace mailwarden::notices

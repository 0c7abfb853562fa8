#pragma once
// Mail to the operator's relay through libcurl's SMTP: smtp://host:port
// (STARTTLS when the relay offers it; required with a login to another
// machine) or smtps://host:port.
#include <string>
#include <string_view>

namespace mailwarden::notices {

struct SmtpSettings {
  std::string url;  // empty: no mail is sent
  std::string user;
  std::string password;  // from the environment, never the command line
  std::string from;
  std::string caFile;  // the certificate authorities the relay's certificate is checked against; empty: the system's
};

// Whether mail to the relay at url must go over TLS or not at all: a login
// never travels in clear beyond this machine, even when a relay (or someone
// between) does not offer STARTTLS. smtps:// always goes over TLS.
bool TlsRequired(std::string_view url, bool withLogin);

// Empty when the relay took the mail; else what went wrong.
std::string SendMail(const SmtpSettings& smtp, std::string_view to, const std::string& message);

// Empty when url is an smtp:// or smtps:// URL with a host; else why not.
std::string CheckSmtpUrl(std::string_view url);

}  // namespace mailwarden::notices

#include "service/notices/smtp_sender.h"

#include <curl/curl.h>

#include <cstring>
#include <memory>

#include "service/notices/curl_handle.h"

namespace mailwarden::notices {
namespace {

struct Reading {
  const std::string& text;
  std::size_t at = 0;
};

std::size_t ReadMessage(char* buffer, std::size_t size, std::size_t count, void* data) {
  auto& reading = *static_cast<Reading*>(data);
  const std::size_t length = std::min(size * count, reading.text.size() - reading.at);
  std::memcpy(buffer, reading.text.data() + reading.at, length);
  reading.at += length;
  return length;
}

// A name like 127.example.com is another machine; only the numbers are this one.
bool Loopback(const std::string& host) {
  return host == "localhost" || host == "[::1]" ||
         (host.starts_with("127.") && host.find_first_not_of("0123456789.") == std::string::npos);
}

}  // namespace

bool TlsRequired(std::string_view url, bool withLogin) {
  const CurlUrl parsed(url);
  if (!parsed) return true;
  return parsed.Part(CURLUPART_SCHEME) == "smtps" || (withLogin && !Loopback(parsed.Part(CURLUPART_HOST)));
}

std::string CheckSmtpUrl(std::string_view url) {
  const CurlUrl parsed(url);
  if (!parsed) return "is not a URL";
  const std::string scheme = parsed.Part(CURLUPART_SCHEME);
  if (scheme != "smtp" && scheme != "smtps") return "must start with smtp:// or smtps://";
  return "";
}

std::string SendMail(const SmtpSettings& smtp, std::string_view to, const std::string& message) {
  CurlHandle curl;
  if (!curl) return "libcurl could not start a transfer";
  Reading reading{message};
  const std::string from = "<" + smtp.from + ">", recipient = "<" + std::string(to) + ">";
  CurlList recipients;
  recipients.Add(recipient);
  curl.Set(CURLOPT_URL, smtp.url.c_str());
  // smtp:// goes over TLS when the relay offers STARTTLS; smtps:// always does.
  const bool login = !smtp.user.empty();
  curl.Set(CURLOPT_USE_SSL, static_cast<long>(TlsRequired(smtp.url, login) ? CURLUSESSL_ALL : CURLUSESSL_TRY));
  if (!smtp.caFile.empty()) curl.Set(CURLOPT_CAINFO, smtp.caFile.c_str());
  if (login) {
    curl.Set(CURLOPT_USERNAME, smtp.user.c_str());
    curl.Set(CURLOPT_PASSWORD, smtp.password.c_str());
  }
  curl.Set(CURLOPT_MAIL_FROM, from.c_str());
  curl.Set(CURLOPT_MAIL_RCPT, recipients.get());
  curl.Set(CURLOPT_READFUNCTION, ReadMessage);
  curl.Set(CURLOPT_READDATA, &reading);
  curl.Set(CURLOPT_UPLOAD, 1L);
  curl.Set(CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
  curl.Set(CURLOPT_CONNECTTIMEOUT, 10L);
  curl.Set(CURLOPT_TIMEOUT, 60L);
  return curl.Perform();
}

}  // namespace mailwarden::notices

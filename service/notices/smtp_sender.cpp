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

}  // namespace

std::string CheckSmtpUrl(std::string_view url) {
  const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), curl_url_cleanup);
  if (curl_url_set(parsed.get(), CURLUPART_URL, std::string(url).c_str(), 0) != CURLUE_OK) {
    return "is not a URL";
  }
  char* scheme = nullptr;
  curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0);
  const std::string schemeText = scheme ? scheme : "";
  curl_free(scheme);
  if (schemeText != "smtp" && schemeText != "smtps") return "must start with smtp:// or smtps://";
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
  curl.Set(CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
  if (!smtp.user.empty()) {
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

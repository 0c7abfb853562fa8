#include "service/notices/curl_handle.h"

#include <mutex>

namespace mailwarden::notices {

CurlHandle::CurlHandle() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  handle_ = curl_easy_init();
  if (!handle_) return;
  Set(CURLOPT_ERRORBUFFER, error_);
  Set(CURLOPT_NOSIGNAL, 1L);
}

CurlHandle::~CurlHandle() {
  if (handle_) curl_easy_cleanup(handle_);
}

std::string CurlHandle::Perform() {
  const CURLcode code = curl_easy_perform(handle_);
  if (code == CURLE_OK) return "";
  long reply = 0;
  curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &reply);
  std::string what = error_[0] ? error_ : curl_easy_strerror(code);
  if (reply) what += " (the server answered " + std::to_string(reply) + ")";
  return what;
}

CurlUrl::CurlUrl(std::string_view text) {
  if (parsed_ && curl_url_set(parsed_.get(), CURLUPART_URL, std::string(text).c_str(), 0) != CURLUE_OK) {
    parsed_.reset();
  }
}

std::string CurlUrl::Part(CURLUPart part) const {
  char* value = nullptr;
  if (curl_url_get(parsed_.get(), part, &value, 0) != CURLUE_OK || !value) return "";
  std::string text = value;
  curl_free(value);
  return text;
}

}  // namespace mailwarden::notices

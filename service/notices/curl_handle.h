#pragma once
// libcurl's easy handle and string list, freed when they go; the library
// set up once for the process.
#include <curl/curl.h>

#include <memory>
#include <string>
#include <string_view>

namespace mailwarden::notices {

class CurlHandle {
 public:
  CurlHandle();
  ~CurlHandle();
  CurlHandle(const CurlHandle&) = delete;
  CurlHandle& operator=(const CurlHandle&) = delete;

  explicit operator bool() const { return handle_ != nullptr; }
  CURL* get() const { return handle_; }
  template <typename T>
  void Set(CURLoption option, T value) {
    curl_easy_setopt(handle_, option, value);
  }
  // Runs the transfer; empty when it went through, else libcurl's error with
  // the server's reply code.
  std::string Perform();

 private:
  CURL* handle_;
  char error_[CURL_ERROR_SIZE] = "";
};

// A URL as libcurl reads it; false when the text is none.
class CurlUrl {
 public:
  explicit CurlUrl(std::string_view text);
  explicit operator bool() const { return parsed_ != nullptr; }
  // The part; empty when the URL has none.
  std::string Part(CURLUPart part) const;

 private:
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed_{curl_url(), curl_url_cleanup};
};

class CurlList {
 public:
  CurlList() = default;
  ~CurlList() { curl_slist_free_all(list_); }
  CurlList(const CurlList&) = delete;
  CurlList& operator=(const CurlList&) = delete;
  void Add(const std::string& item) { list_ = curl_slist_append(list_, item.c_str()); }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

}  // namespace mailwarden::notices

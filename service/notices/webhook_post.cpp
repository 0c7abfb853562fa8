#include "service/notices/webhook_post.h"

#include <sodium.h>

#include <nlohmann/json.hpp>

#include "service/notices/curl_handle.h"
#include "service/notices/webhook_address.h"
#include "service/time_text.h"

namespace mailwarden::notices {
namespace {

const char* TypeName(int type) {
  switch (static_cast<store::EventType>(type)) {
    case store::EventType::kImage:
      return "open";
    case store::EventType::kReceipt:
      return "receipt";
    case store::EventType::kRead:
      return "read";
    case store::EventType::kCancel:
      return "cancel";
    case store::EventType::kVisit:
      break;
  }
  return "visit";
}

const char* ClassName(int eventClass) {
  switch (static_cast<store::EventClass>(eventClass)) {
    case store::EventClass::kPerson:
      return "person";
    case store::EventClass::kMachine:
      return "machine";
    case store::EventClass::kSender:
      break;
  }
  return "sender";
}

struct Refusal {
  bool allowPrivate;
  std::string why;
};

// Every connection libcurl opens, checked where it really goes.
curl_socket_t OpenChecked(void* data, curlsocktype /*purpose*/, curl_sockaddr* address) {
  auto& refusal = *static_cast<Refusal*>(data);
  refusal.why = CheckWebhookAddress(&address->addr, refusal.allowPrivate);
  if (!refusal.why.empty()) return CURL_SOCKET_BAD;
  return ::socket(address->family, address->socktype, address->protocol);
}

std::size_t Discard(char* /*data*/, std::size_t size, std::size_t count, void* /*user*/) {
  return size * count;
}

}  // namespace

std::string WebhookBody(const store::Delivery& event) {
  nlohmann::json body = {
      {"id", "ev_" + std::to_string(event.eventId)},
      {"type", TypeName(event.eventType)},
      {"class", ClassName(event.eventClass)},
      {"reason", event.reason},
      {"time", FormatUtc(event.time, "%Y-%m-%dT%H:%M:%SZ")},
      {"message", {{"id", event.messageId}, {"subject", event.subject}}},
      {"recipient", {{"address", event.recipient}, {"name", event.recipientName}}},
  };
  return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string WebhookSignature(std::string_view secret, std::int64_t seconds, std::string_view body) {
  const std::string t = std::to_string(seconds), signed_ = t + "." + std::string(body);
  unsigned char mac[crypto_auth_hmacsha256_BYTES];
  crypto_auth_hmacsha256_state state;
  crypto_auth_hmacsha256_init(&state, reinterpret_cast<const unsigned char*>(secret.data()), secret.size());
  crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(signed_.data()), signed_.size());
  crypto_auth_hmacsha256_final(&state, mac);
  char hex[sizeof mac * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, mac, sizeof mac);
  return "t=" + t + ",v1=" + hex;
}

std::string PostWebhook(const std::string& url, const std::string& body, const std::string& signature,
                        bool allowPrivate) {
  CurlHandle curl;
  if (!curl) return "libcurl could not start a transfer";
  Refusal refusal{allowPrivate, ""};
  CurlList headers;
  headers.Add("Content-Type: application/json");
  headers.Add(std::string(kSignatureHeader) + ": " + signature);
  headers.Add("Expect:");
  curl.Set(CURLOPT_URL, url.c_str());
  curl.Set(CURLOPT_PROTOCOLS_STR, "http,https");
  // Straight to the receiver: no proxy from the environment, no redirect elsewhere.
  curl.Set(CURLOPT_PROXY, "");
  curl.Set(CURLOPT_FOLLOWLOCATION, 0L);
  curl.Set(CURLOPT_OPENSOCKETFUNCTION, OpenChecked);
  curl.Set(CURLOPT_OPENSOCKETDATA, &refusal);
  curl.Set(CURLOPT_HTTPHEADER, headers.get());
  curl.Set(CURLOPT_POSTFIELDS, body.c_str());
  curl.Set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl.Set(CURLOPT_USERAGENT, "mailwarden-webhooks");
  curl.Set(CURLOPT_WRITEFUNCTION, Discard);
  curl.Set(CURLOPT_CONNECTTIMEOUT, 10L);
  curl.Set(CURLOPT_TIMEOUT, 15L);
  std::string failed = curl.Perform();
  if (!refusal.why.empty()) return "the address " + refusal.why;
  if (!failed.empty()) return failed;
  long status = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
  if (status < 200 || status > 299) return "the receiver answered " + std::to_string(status);
  return "";
}

}  // namespace mailwarden::notices

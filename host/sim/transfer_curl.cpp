#include "host/sim/transfer_curl.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace host::sim {

namespace {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Progress {
  const CurlListener& listener;
  bool connected = false;
  bool receiving = false;

  void State(std::int16_t state) const {
    if (listener.state) listener.state(state);
  }
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* progress = static_cast<Progress*>(user);
  if (progress->listener.body) progress->listener.body(data, size * count);
  return size * count;
}

// The debug stream tells when the request goes out and the answer starts.
int OnDebug(CURL*, curl_infotype type, char*, std::size_t, void* user) {
  auto* progress = static_cast<Progress*>(user);
  if (type == CURLINFO_HEADER_OUT && !progress->connected) {
    progress->connected = true;
    progress->State(icConnected);
    progress->State(icRequesting);
  } else if (type == CURLINFO_HEADER_IN && !progress->receiving) {
    progress->receiving = true;
    progress->State(icRequestSent);
    progress->State(icReceivingResponse);
  }
  return 0;
}

int OnXfer(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* progress = static_cast<Progress*>(user);
  return progress->listener.abort && progress->listener.abort->load() ? 1 : 0;
}

std::int32_t ErrorNumber(CURLcode result) {
  switch (result) {
    case CURLE_OPERATION_TIMEDOUT:
      return transfer_error::kTimedOut;
    case CURLE_COULDNT_CONNECT:
      return transfer_error::kCannotConnect;
    case CURLE_COULDNT_RESOLVE_HOST:
      return transfer_error::kHostNotFound;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return transfer_error::kBadUrl;
    default:
      return transfer_error::kConnectionFailed;
  }
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// requestHeaders: lines separated by CR LF (a lone LF is taken too).
std::unique_ptr<curl_slist, ListDeleter> HeaderList(const std::string& requestHeaders) {
  std::unique_ptr<curl_slist, ListDeleter> list;
  std::size_t start = 0;
  while (start <= requestHeaders.size()) {
    std::size_t end = requestHeaders.find('\n', start);
    if (end == std::string::npos) end = requestHeaders.size();
    std::string line = requestHeaders.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) list.reset(curl_slist_append(list.release(), line.c_str()));
    start = end + 1;
  }
  // The control sends the body at once, without waiting for "100 Continue".
  list.reset(curl_slist_append(list.release(), "Expect:"));
  return list;
}

}  // namespace

CurlOutcome PerformRequest(const TransferRequest& request, std::int32_t timeoutSeconds, const CurlListener& listener) {
  GlobalInit();
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) return {transfer_error::kConnectionFailed, 0};
  CURL* handle = easy.get();
  Progress progress{listener};
  auto headers = HeaderList(request.requestHeaders);

  curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_PROXY, "");
  curl_easy_setopt(handle, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutSeconds) * 1000L);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &progress);
  curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, OnDebug);
  curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &progress);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, OnXfer);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &progress);
  if (request.operation == "POST") {
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.data.size()));
    curl_easy_setopt(handle, CURLOPT_COPYPOSTFIELDS, request.data.c_str());
  } else {
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
  }

  progress.State(icConnecting);
  const CURLcode result = curl_easy_perform(handle);
  CurlOutcome outcome;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &outcome.httpStatus);
  if (result != CURLE_OK) {
    outcome.code = ErrorNumber(result);
    return outcome;
  }
  progress.State(icResponseReceived);
  return outcome;
}

}  // namespace host::sim

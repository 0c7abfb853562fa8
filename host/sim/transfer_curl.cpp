#include "host/sim/transfer_curl.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>

namespace host::sim {

namespace {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

using Clock = std::chrono::steady_clock;

// The longest sleep in curl's poll; a cancel or a new time-out wakes it sooner.
constexpr int kLongestSleepMs = 1000;

// When data last moved: data coming in counts from the moment it is taken in,
// data going out from the start of the perform that sent it (the debug
// stream tells only after the send). So a test's server that moves the clock
// on once the request is in, or before each piece of its reply, never has
// that move counted as a silence it did not keep, nor lost.
struct Progress {
  const CurlListener& listener;
  const CurlRun& run;
  bool connected = false;
  bool receiving = false;
  bool sent = false;  // data went out during the current perform
  Clock::time_point lastMoved = run.Now();

  void State(std::int16_t state) const {
    if (listener.state) listener.state(state);
  }
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* progress = static_cast<Progress*>(user);
  if (progress->listener.body) progress->listener.body(data, size * count);
  return size * count;
}

// The debug stream tells when data moves, when the request goes out and when
// the answer starts.
int OnDebug(CURL*, curl_infotype type, char*, std::size_t, void* user) {
  auto* progress = static_cast<Progress*>(user);
  if (type == CURLINFO_HEADER_OUT || type == CURLINFO_DATA_OUT || type == CURLINFO_SSL_DATA_OUT) {
    progress->sent = true;
  } else if (type != CURLINFO_TEXT) {
    progress->lastMoved = progress->run.Now();
  }
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
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
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

void CurlRun::Cancel() {
  cancelled_ = true;
  Wake();
}

void CurlRun::Wake() {
  std::lock_guard lock(mutex_);
  if (multi_) curl_multi_wakeup(multi_);
}

void CurlRun::Attach(CURLM* multi) {
  std::lock_guard lock(mutex_);
  multi_ = multi;
}

void CurlRun::Detach() {
  std::lock_guard lock(mutex_);
  multi_ = nullptr;
}

CurlOutcome PerformRequest(const TransferRequest& request, CurlRun& run, const CurlListener& listener) {
  GlobalInit();
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  if (!easy || !multi) return {transfer_error::kConnectionFailed, 0};
  CURL* handle = easy.get();
  Progress progress{listener, run};
  auto headers = HeaderList(request.requestHeaders);

  curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_PROXY, "");
  curl_easy_setopt(handle, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &progress);
  curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, OnDebug);
  curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &progress);
  if (request.operation == "POST") {
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.data.size()));
    curl_easy_setopt(handle, CURLOPT_COPYPOSTFIELDS, request.data.c_str());
  } else {
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
  }
  if (curl_multi_add_handle(multi.get(), handle) != CURLM_OK) return {transfer_error::kConnectionFailed, 0};

  progress.State(icConnecting);
  progress.lastMoved = run.Now();
  run.Attach(multi.get());
  CURLcode result = CURLE_OK;
  bool timedOut = false;
  for (;;) {
    int running = 0;
    const Clock::time_point performStart = run.Now();
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
      result = CURLE_RECV_ERROR;
      break;
    }
    if (progress.sent) {
      progress.sent = false;
      progress.lastMoved = std::max(progress.lastMoved, performStart);
    }
    if (running == 0) {
      int left = 0;
      CURLMsg* message = curl_multi_info_read(multi.get(), &left);
      result = message && message->msg == CURLMSG_DONE ? message->data.result : CURLE_RECV_ERROR;
      break;
    }
    if (run.Cancelled()) {
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    int sleepMs = kLongestSleepMs;
    if (const std::int32_t seconds = run.TimeoutSeconds(); seconds > 0) {
      const auto silence = run.Now() - progress.lastMoved;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(std::chrono::seconds(seconds) - silence);
      if (left.count() <= 0) {
        timedOut = true;
        break;
      }
      sleepMs = static_cast<int>(std::min<std::chrono::milliseconds::rep>(left.count(), sleepMs));
    }
    curl_multi_poll(multi.get(), nullptr, 0, sleepMs, nullptr);
  }
  run.Detach();

  CurlOutcome outcome;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &outcome.httpStatus);
  curl_multi_remove_handle(multi.get(), handle);
  if (timedOut) {
    outcome.code = transfer_error::kTimedOut;
    return outcome;
  }
  if (result != CURLE_OK) {
    outcome.code = ErrorNumber(result);
    return outcome;
  }
  progress.State(icResponseReceived);
  return outcome;
}

}  // namespace host::sim

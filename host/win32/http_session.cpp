#include "host/win32/http_session.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "host/error.h"
#include "host/transfer.h"
#include "host/win32/text.h"

namespace host::win32 {
namespace {

constexpr DWORD kCancelled = ERROR_INTERNET_OPERATION_CANCELLED;
constexpr DWORD kFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                         INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;

// An upload goes out in pieces of this size, so each piece that leaves counts as data moving.
constexpr DWORD kUploadPiece = 8192;
// No time-out of WinINet's own: a request ends when the control finds it silent too long.
constexpr DWORD kNoTimeout = 0xFFFFFFFFu;

[[noreturn]] void ThrowLastError() {
  DWORD code = GetLastError();
  throw Error(static_cast<std::int32_t>(code), InternetErrorText(code));
}

}  // namespace

std::string InternetErrorText(DWORD code) {
  std::string text = SystemMessage(code, GetModuleHandleA("wininet.dll"));
  if (!text.empty()) return text;
  switch (code) {
    case ERROR_INTERNET_TIMEOUT:
      return "The operation timed out";
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return "The server name or address could not be resolved";
    case ERROR_INTERNET_CANNOT_CONNECT:
      return "A connection with the server could not be established";
    case ERROR_INTERNET_CONNECTION_ABORTED:
      return "The connection with the server was terminated abnormally";
    case ERROR_INTERNET_CONNECTION_RESET:
      return "The connection with the server was reset";
    case ERROR_INTERNET_INVALID_URL:
      return "The URL is invalid";
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
      return "The URL does not use a recognized protocol";
    case ERROR_INTERNET_OPERATION_CANCELLED:
      return "The operation was canceled";
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return "The server response could not be parsed";
    default:
      text = SystemMessage(code);
      return text.empty() ? "Internet error " + std::to_string(code) : text;
  }
}

HttpSession::HttpSession() : lastMoved_(GetTickCount()) {
  HINTERNET session = InternetOpenA("Corvanta", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!session) ThrowLastError();
  Keep(kSession, session);
  SetTimeouts(session);
  // Tells when the connection is made and the request and the reply's head have gone through.
  InternetSetStatusCallbackA(session, &HttpSession::OnStatus);
}

void CALLBACK HttpSession::OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
  switch (status) {
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
    case INTERNET_STATUS_REQUEST_SENT:
    case INTERNET_STATUS_RESPONSE_RECEIVED:
      if (context) reinterpret_cast<HttpSession*>(context)->Moved();
      break;
    default:
      break;
  }
}

HttpSession::~HttpSession() {
  std::lock_guard lock(mutex_);
  for (int level = kRequest; level >= kSession; --level)
    if (HINTERNET handle = std::exchange(handles_[level], nullptr)) InternetCloseHandle(handle);
}

void HttpSession::Cancel() {
  std::lock_guard lock(mutex_);
  cancelled_ = true;
  for (int level = kRequest; level >= kSession; --level)
    if (HINTERNET handle = std::exchange(handles_[level], nullptr)) InternetCloseHandle(handle);
}

HINTERNET HttpSession::Keep(Level level, HINTERNET handle) {
  std::lock_guard lock(mutex_);
  if (cancelled_) {
    InternetCloseHandle(handle);
    throw Error(static_cast<std::int32_t>(kCancelled), InternetErrorText(kCancelled));
  }
  handles_[level] = handle;
  return handle;
}

HINTERNET HttpSession::Current(Level level) {
  std::lock_guard lock(mutex_);
  if (cancelled_ || !handles_[level]) throw Error(static_cast<std::int32_t>(kCancelled), InternetErrorText(kCancelled));
  return handles_[level];
}

void HttpSession::SetTimeouts(HINTERNET handle) {
  DWORD none = kNoTimeout;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
    InternetSetOptionA(handle, option, &none, sizeof none);
}

std::string HttpSession::ReadAll(HINTERNET handle) {
  std::string reply;
  char buffer[8192];
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(handle, buffer, sizeof buffer, &read)) ThrowLastError();
    if (read == 0) return reply;
    Moved();
    reply.append(buffer, read);
  }
}

void HttpSession::WriteAll(HINTERNET handle, const std::string& data) {
  for (std::size_t sent = 0; sent < data.size();) {
    DWORD piece = static_cast<DWORD>(std::min<std::size_t>(kUploadPiece, data.size() - sent));
    DWORD written = 0;
    if (!InternetWriteFile(handle, data.data() + sent, piece, &written)) ThrowLastError();
    if (written == 0) throw Error(static_cast<std::int32_t>(kCancelled), InternetErrorText(kCancelled));
    sent += written;
    Moved();
  }
}

std::string HttpSession::Get(const std::string& url) {
  // The request is made step by step rather than with InternetOpenUrl, so
  // that its own handle carries the time-outs before anything is sent.
  return Send(url, "GET", "", "", [](std::int16_t) {});
}

std::string HttpSession::Send(const std::string& url, const std::string& verb, const std::string& data,
                              const std::string& headers, const std::function<void(std::int16_t)>& progress) {
  // The path and query take as much room as the URL itself: a signed query
  // of the longest length is longer than INTERNET_MAX_URL_LENGTH with its
  // host, and InternetCrackUrl only refuses buffers too small for a part.
  char hostName[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
  std::vector<char> path(url.size() + 1, '\0');
  char user[INTERNET_MAX_USER_NAME_LENGTH + 1] = {};
  char password[INTERNET_MAX_PASSWORD_LENGTH + 1] = {};
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = hostName;
  parts.dwHostNameLength = sizeof hostName;
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  parts.lpszUserName = user;
  parts.dwUserNameLength = sizeof user;
  parts.lpszPassword = password;
  parts.dwPasswordLength = sizeof password;
  std::vector<char> query(url.size() + 1, '\0');
  parts.lpszExtraInfo = query.data();
  parts.dwExtraInfoLength = static_cast<DWORD>(query.size());
  if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts)) ThrowLastError();
  std::string object(path[0] ? path.data() : "/");
  object.append(query.data());

  progress(icConnecting);
  Moved();
  const auto context = reinterpret_cast<DWORD_PTR>(this);
  HINTERNET connection = InternetConnectA(Current(kSession), hostName, parts.nPort, user[0] ? user : nullptr,
                                          password[0] ? password : nullptr, INTERNET_SERVICE_HTTP, 0, context);
  if (!connection) ThrowLastError();
  Keep(kConnection, connection);

  DWORD flags = kFlags | (parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
  const char* accept[] = {"*/*", nullptr};
  HINTERNET request = HttpOpenRequestA(connection, verb.empty() ? "GET" : verb.c_str(), object.c_str(), nullptr,
                                       nullptr, accept, flags, context);
  if (!request) ThrowLastError();
  Keep(kRequest, request);
  SetTimeouts(request);

  progress(icRequesting);
  const char* headerText = headers.empty() ? nullptr : headers.c_str();
  if (data.empty()) {
    if (!HttpSendRequestA(request, headerText, static_cast<DWORD>(headers.size()), nullptr, 0)) ThrowLastError();
  } else {
    // The body goes in pieces: a slow upload that keeps moving is not silent.
    INTERNET_BUFFERSA buffers{};
    buffers.dwStructSize = sizeof buffers;
    buffers.lpcszHeader = headerText;
    buffers.dwHeadersLength = static_cast<DWORD>(headers.size());
    buffers.dwBufferTotal = static_cast<DWORD>(data.size());
    if (!HttpSendRequestExA(request, &buffers, nullptr, 0, 0)) ThrowLastError();
    WriteAll(request, data);
    if (!HttpEndRequestA(request, nullptr, 0, 0)) ThrowLastError();
  }
  Moved();
  progress(icRequestSent);
  progress(icReceivingResponse);
  std::string reply = ReadAll(request);
  progress(icResponseReceived);
  return reply;
}

}  // namespace host::win32

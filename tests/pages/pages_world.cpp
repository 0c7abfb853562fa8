#include "pages_world.h"

#include <regex>

#include "service/pages/password.h"

namespace pages_test {

const std::string PagesWorld::kPassword = "correct horse battery";

std::string HeaderOf(const http::Reply& reply, std::string_view name) {
  for (const auto& [key, value] : reply.headers)
    if (key == name) return value;
  return "";
}

void Browser::Keep(const http::Reply& reply) {
  for (const auto& [name, value] : reply.headers) {
    if (name != "Set-Cookie") continue;
    const auto eq = value.find('=');
    const auto end = value.find(';');
    const std::string cookie = value.substr(0, eq);
    const std::string content = value.substr(eq + 1, end - eq - 1);
    std::smatch path;
    std::regex_search(value, path, std::regex("Path=([^;]+)"));
    const auto key = std::make_pair(cookie, path[1].str());
    if (value.find("Max-Age=0") != std::string::npos) {
      cookies.erase(key);
    } else {
      cookies[key] = content;
    }
  }
}

std::string Browser::CookieHeader(const std::string& path) const {
  std::string header;
  for (const auto& [key, value] : cookies) {
    if (path.rfind(key.second, 0) != 0) continue;
    header += (header.empty() ? "" : "; ") + key.first + "=" + value;
  }
  return header;
}

std::string Browser::Cookie(const std::string& name, const std::string& path) const {
  auto found = cookies.find({name, path});
  return found == cookies.end() ? "" : found->second;
}

PagesWorld::PagesWorld() {
  options_.clock = [this] { return now_; };
  pages_ = std::make_unique<pages::Pages>(*store_, options_);
}

namespace {

http::Request Request(Browser& browser, const std::string& method, const std::string& target) {
  http::Request request;
  request.method = method;
  const auto question = target.find('?');
  request.path = target.substr(0, question);
  if (question != std::string::npos) request.query = target.substr(question + 1);
  request.ip = browser.ip;
  request.headers.emplace_back("User-Agent", browser.userAgent);
  const std::string cookies = browser.CookieHeader(request.path);
  if (!cookies.empty()) request.headers.emplace_back("Cookie", cookies);
  return request;
}

}  // namespace

http::Reply PagesWorld::Get(Browser& browser, const std::string& target) {
  http::Reply reply = GetInPieces(browser, target);
  if (reply.more) {
    for (std::string piece = reply.more(); !piece.empty(); piece = reply.more()) reply.body += piece;
    reply.more = nullptr;
  }
  return reply;
}

http::Reply PagesWorld::GetInPieces(Browser& browser, const std::string& target) {
  http::Reply reply = pages_->Handle(Request(browser, "GET", target));
  browser.Keep(reply);
  return reply;
}

http::Reply PagesWorld::Post(Browser& browser, const std::string& path, const std::string& body) {
  http::Request request = Request(browser, "POST", path);
  request.headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
  request.body = body;
  http::Reply reply = pages_->Handle(request);
  browser.Keep(reply);
  return reply;
}

std::string PagesWorld::Csrf(const std::string& page) {
  std::smatch match;
  if (!std::regex_search(page, match, std::regex("name=\"csrf\" value=\"([^\"]+)\""))) return "";
  return match[1].str();
}

http::Reply PagesWorld::SignIn(Browser& browser, const std::string& address, const std::string& password) {
  const std::string form = Get(browser, "/cvx/").body;
  return Post(browser, "/cvx/signin",
              "csrf=" + pages::QueryEscape(Csrf(form)) + "&address=" + pages::QueryEscape(address) +
                  "&password=" + pages::QueryEscape(password));
}

store::Account PagesWorld::AddSender(const std::string& address, int credit) {
  static const std::string hash = pages::HashPassword(kPassword);
  store_->AddAccount(address, credit, now_);
  store_->SetPasswordHash(address, hash);
  return *store_->FindAccount(address);
}

store::Issued PagesWorld::Send(const std::string& sender, const std::string& subject,
                               std::vector<store::NewRecipient> recipients, store::Kind kind,
                               const std::string& content, bool isHtml) {
  store::NewMessage message;
  message.sender = sender;
  message.kind = kind;
  message.subject = subject;
  message.sentDate = "2026-12-12";
  message.sentTime = "09:30:00";
  message.issued = now_;
  message.ip = "127.0.0.1";
  message.fromName = "Dana Sender";
  message.content = content;
  message.isHtml = isHtml;
  message.recipients = std::move(recipients);
  return store_->IssueStamps(message, 0, [this] { return "stamp" + std::to_string(++stamps_); });
}

void PagesWorld::Event(const std::string& stamp, store::EventType type, store::EventClass eventClass,
                       const std::string& ip, const std::string& userAgent, const std::string& reason) {
  store_->RecordEvents({{stamp, type, eventClass, now_, ip, userAgent, reason}});
}

}  // namespace pages_test

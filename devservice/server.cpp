#include "devservice/server.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <regex>
#include <stdexcept>

#include "devservice/form.h"
#include "devservice/links.h"
#include "devservice/pages.h"
#include "devservice/requests.h"
#include "protocol/service.h"

namespace mailwarden {
namespace {

namespace protocol = corvanta::protocol;

// The upload is bounded by the add-in at 20000 characters; this leaves room and no more.
constexpr std::size_t kMaxBody = 1 << 20;
constexpr const char* kText = "text/plain; charset=utf-8";
constexpr const char* kHtml = "text/html; charset=utf-8";

// The route pattern that matches exactly this path.
std::string Exactly(const std::string& path) {
  return std::regex_replace(path, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

std::string RawQuery(const httplib::Request& request) {
  return std::string(QueryOf(request.target));
}

void Send(httplib::Response& response, const PageReply& reply) {
  response.status = reply.status;
  response.set_content(reply.body, reply.contentType.c_str());
}

}  // namespace

Server::Server(Service& service, int port) : service_(service), http_(std::make_unique<httplib::Server>()) {
  // The library's default, SO_REUSEPORT, would let a second server share a busy port.
  http_->set_socket_options([](socket_t socket) {
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  http_->set_payload_max_length(kMaxBody);
  // One request per connection, so stopping never waits on an idle client.
  http_->set_keep_alive_max_count(1);
  http_->set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
    std::string what = "unknown error";
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      what = e.what();
    } catch (...) {
    }
    std::cerr << "mailwarden-dev: request failed: " << what << "\n";
    response.status = 500;
    response.set_content("qx;The service failed to handle the request.", kText);
  });
  Route();
  if (port == 0) {
    port_ = http_->bind_to_any_port("127.0.0.1");
  } else if (http_->bind_to_port("127.0.0.1", port)) {
    port_ = port;
  } else {
    port_ = -1;
  }
  if (port_ <= 0) throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
}

Server::~Server() {
  Stop();
}

std::string Server::Host() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::string Server::Url() const {
  return "http://" + Host() + "/";
}

void Server::Start() {
  if (thread_.joinable()) return;
  auto ended = std::make_shared<std::atomic<bool>>(false);
  thread_ = std::thread([this, ended] {
    http_->listen_after_bind();
    *ended = true;
  });
  // Stop only takes effect on a running server.
  while (!http_->is_running() && !*ended) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void Server::Run() {
  http_->listen_after_bind();
}

void Server::Stop() {
  http_->stop();
  if (thread_.joinable()) thread_.join();
}

void Server::Route() {
  auto text = [](httplib::Response& response, const std::string& reply) { response.set_content(reply, kText); };
  auto html = [](const std::string& page) {
    return [page](const httplib::Request&, httplib::Response& response) { response.set_content(page, kHtml); };
  };

  http_->Get(Exactly(protocol::kCreditPath),
             [this, text](const httplib::Request& request, httplib::Response& response) {
               text(response, CreditQuery(service_, RawQuery(request)));
             });
  http_->Get(Exactly(protocol::kStampPath), [this, text](const httplib::Request& request, httplib::Response& response) {
    text(response, StampRequest(service_, RawQuery(request)));
  });
  // Read through a content reader: the library refuses a form body above 8 KiB
  // before a plain handler runs, and the upload may be bigger.
  http_->Post(Exactly(protocol::kUploadPath),
              [this, text](const httplib::Request&, httplib::Response& response, const httplib::ContentReader& reader) {
                std::string body;
                bool complete = reader([&](const char* data, std::size_t length) {
                  body.append(data, length);
                  return body.size() <= kMaxBody;
                });
                text(response, complete ? CertifiedUpload(service_, body) : "qx;The email is too big.");
              });
  http_->Get(Exactly(protocol::kUploadPath), [text](const httplib::Request&, httplib::Response& response) {
    text(response, "qx;The upload must be posted.");
  });
  http_->Get(Exactly(protocol::kTrackPath), [this](const httplib::Request& request, httplib::Response& response) {
    Send(response, TrackingLink(service_, RawQuery(request)));
  });
  http_->Get(Exactly(protocol::kCertifiedPath), [this](const httplib::Request& request, httplib::Response& response) {
    Send(response, CertifiedLink(service_, RawQuery(request)));
  });
  http_->Get(Exactly(protocol::kTermsPath),
             [](const httplib::Request&, httplib::Response& response) { response.set_content(TermsText(), kText); });
  http_->Get("/", html(HomePage()));
  http_->Get(Exactly(protocol::kPagesPath), html(HomePage()));
  http_->Get(Exactly(protocol::kDonationPath), html(DonationPage()));
  http_->Get("/status", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(StatusPage(service_.Status()), kHtml);
  });
  http_->Get(Exactly("/status.json"), [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(service_.Status().dump(1, ' ', false, nlohmann::json::error_handler_t::replace),
                         "application/json");
  });
}

}  // namespace mailwarden

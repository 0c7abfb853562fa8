#include <netdb.h>
#include <pthread.h>
#include <sys/socket.h>

#include <cctype>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <thread>

#include "service/cli/commands.h"
#include "service/events/networks.h"
#include "service/instance.h"
#include "service/notices/smtp_sender.h"

namespace mailwarden::cli {
namespace {

struct ServeArgs {
  std::string keyFile;
  std::string listen = "127.0.0.1:8080";
  std::string adminListen;
  std::string database;
  std::string termsFile;
  std::string donationFile;
  std::string clockFile;
  std::string networksFile;
  ServeOptions options;
};

// For tests that need time to pass without waiting for it: the system clock
// plus as many seconds as the file holds when it is read (a missing or empty
// file: none). Anything else in it stops the service rather than leave the
// test's time where it was.
std::function<std::int64_t()> ClockAheadBy(std::string path) {
  return [path = std::move(path)] {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    std::int64_t seconds = 0;
    if (!text.empty()) {
      const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
      if (error != std::errc() || end != text.data() + text.size()) {
        std::cerr << "mailwarden: " << path << " holds no whole number of seconds" << std::endl;
        std::abort();
      }
    }
    return SystemNow() + seconds * 1000000;
  };
}

// "HOST:PORT", the host of an IPv6 address in brackets; a host name is
// looked up here, and its first address is the one listened on.
void SetListen(const std::string& text, http::ServerOptions& server) {
  std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
    throw Failure("takes HOST:PORT (such as 127.0.0.1:8080), not " + text);
  }
  std::string host = text.substr(0, colon), port = text.substr(colon + 1);
  if (host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (port.find_first_not_of("0123456789") != std::string::npos || port.size() > 5 || std::stoi(port) > 65535) {
    throw Failure(port + " is not a port (a whole number from 0 to 65535)");
  }
  addrinfo hints{};
  hints.ai_flags = AI_PASSIVE;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (int error = ::getaddrinfo(host.c_str(), nullptr, &hints, &found); error != 0) {
    throw Failure("the host " + host + " is neither an IP address nor a name this machine can look up (" +
                  ::gai_strerror(error) + ")");
  }
  char address[INET6_ADDRSTRLEN] = "";
  ::getnameinfo(found->ai_addr, found->ai_addrlen, address, sizeof address, nullptr, 0, NI_NUMERICHOST);
  ::freeaddrinfo(found);
  server.host = address;
  server.port = std::stoi(port);
}

// The relay and the sender of the mail notices; the password only from the
// environment, where no other user sees it (the command line they do).
void SetNotices(NoticeOptions& notices) {
  if (notices.smtpUrl.empty()) {
    if (!notices.smtpUser.empty() || !notices.smtpFrom.empty() || !notices.smtpCaFile.empty())
      throw Failure("--smtp-user, --smtp-from and --smtp-ca need --smtp");
    return;
  }
  if (std::string bad = notices::CheckSmtpUrl(notices.smtpUrl); !bad.empty()) {
    throw Failure("--smtp " + notices.smtpUrl + " " + bad + " (smtp://HOST:PORT or smtps://HOST:PORT)");
  }
  if (notices.smtpFrom.empty()) throw Failure("--smtp needs --smtp-from, the address notices are sent from");
  if (notices.publicUrl.empty()) throw Failure("--smtp needs --public-url, where the notices' links lead");
  while (notices.publicUrl.ends_with('/')) notices.publicUrl.pop_back();
  if (const char* password = std::getenv("MAILWARDEN_SMTP_PASSWORD")) notices.smtpPassword = password;
}

int Serve(ServeArgs& args) {
  SetListen(args.listen, args.options.server);
  SetNotices(args.options.service.notices);
  if (!args.adminListen.empty()) {
    args.options.admin.emplace();
    SetListen(args.adminListen, *args.options.admin);
  }
  args.options.database = args.database;
  args.options.service.sealingKey = SealingKeyFor(args.database, args.keyFile);
  if (!args.clockFile.empty()) args.options.service.clock = ClockAheadBy(args.clockFile);
  if (!args.termsFile.empty()) {
    std::ifstream in(args.termsFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) throw Failure("cannot read the terms " + args.termsFile);
    args.options.service.terms = text.str();
  }
  if (!args.donationFile.empty()) {
    std::ifstream in(args.donationFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) throw Failure("cannot read the donation text " + args.donationFile);
    args.options.service.donation = text.str();
  }
  if (!args.networksFile.empty()) {
    std::ifstream in(args.networksFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) throw Failure("cannot read the networks " + args.networksFile);
    try {
      events::Networks().Add(text.str(), false);
    } catch (const std::invalid_argument& bad) {
      throw Failure("--networks " + args.networksFile + ", " + bad.what());
    }
    args.options.service.networks = text.str();
  }
  // The signals are taken by sigwait below, not by whichever thread they hit.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  // A client gone mid-reply is an error of that write, not the end of the service.
  std::signal(SIGPIPE, SIG_IGN);

  Instance instance(args.options);
  instance.Start();
  std::cout << "mailwarden listening on " << instance.Url() << std::endl;
  int signal = 0;
  sigwait(&stopSignals, &signal);
  instance.Stop();
  std::cout << "mailwarden stopped" << std::endl;
  return 0;
}

}  // namespace

void AddServe(CLI::App& app, Action& action) {
  auto args = std::make_shared<ServeArgs>();
  ServiceOptions& service = args->options.service;
  http::ServerOptions& server = args->options.server;
  server.networkThreads = std::max(1u, std::thread::hardware_concurrency() / 2);
  CLI::App* serve = app.add_subcommand("serve", "Serve the add-in's requests, the links in its mail and the pages");
  serve
      ->add_option("--listen", args->listen,
                   "HOST:PORT to listen on (an IP address or a host name); port 0 picks a free one")
      ->capture_default_str()
      ->check(
          [](const std::string& text) {
            try {
              http::ServerOptions checked;
              SetListen(text, checked);
              return std::string();
            } catch (const Failure& bad) {
              return std::string(bad.what());
            }
          },
          "HOST:PORT");
  serve->add_option("--admin-listen", args->adminListen,
                    "HOST:PORT where /metrics and /healthz are served instead of on --listen (there, without "
                    "this, only to clients on loopback)");
  AddDatabaseOption(*serve, args->database);
  serve
      ->add_option("--new-sender-credit", service.newSenderCredit,
                   "Monthly credit of a sender without an account at their first request; 0: only accounts "
                   "made with `mailwarden account add` may send")
      ->capture_default_str()
      ->check(WholeNumber(0));
  serve
      ->add_option("--default-codepage", service.defaultCodepage,
                   "Windows code page of senders without an account and of the accounts the service makes "
                   "(932 for an office on Japanese Windows)")
      ->capture_default_str()
      ->check(
          [](const std::string& text) {
            try {
              CheckCodepage(std::stoi(text));
              return std::string();
            } catch (const std::exception& bad) {
              return "unknown code page " + text;
            }
          },
          "N");
  serve->add_option("--terms", args->termsFile, "File with the terms of use the add-in shows");
  serve->add_option("--donation", args->donationFile,
                    "File with the text of the donation page (/cvx/donation/), instead of the built-in one");
  serve->add_option("--networks", args->networksFile,
                    "File of address ranges whose requests are machines', beside the built-in ones: lines of "
                    "\"RANGE apple|scanner OWNER\", or Apple's published egress list as it comes");
  serve
      ->add_option("--client-data", service.clientData,
                   "The ua-parser patterns (uap-core's regexes.yaml) that name the programs on the pages; "
                   "empty: show each User-Agent as it came")
      ->capture_default_str();
  serve->add_option("--max-upload", service.maxUpload, "Largest certified upload, in bytes")
      ->capture_default_str()
      ->check(WholeNumber(1024, 1 << 30));
  serve
      ->add_option("--retain-days", service.retainDays,
                   "Delete messages, stamps and events older than this many days; 0 keeps them")
      ->capture_default_str()
      ->check(WholeNumber(0));
  serve
      ->add_option("--limit-per-address", service.limits.perAddress,
                   "Stamp, credit and upload requests per sender address and window; 0: no limit")
      ->capture_default_str()
      ->check(WholeNumber(0));
  serve
      ->add_option("--limit-per-ip", service.limits.perIp,
                   "Stamp, credit and upload requests per client IP and window; 0: no limit")
      ->capture_default_str()
      ->check(WholeNumber(0));
  serve
      ->add_option_function<int>(
          "--limit-window", [&service](int seconds) { service.limits.window = std::chrono::seconds(seconds); },
          "Length of the limits' window in seconds (default 60)")
      ->check(WholeNumber(1, 86400));
  serve->add_option("--threads", server.networkThreads, "Network threads")
      ->capture_default_str()
      ->check(WholeNumber(1, 256));
  serve->add_option("--workers", server.workers, "Threads for the requests that use the database")
      ->capture_default_str()
      ->check(WholeNumber(1, 1024));
  serve->add_flag("--behind-proxy", server.behindProxy,
                  "Take the client's address from X-Forwarded-For when the connection comes from this machine "
                  "(a reverse proxy on it)");
  serve->add_flag("--require-keys", service.requireKeys,
                  "Every sender must sign the add-in's requests with an add-in key; without it, only senders who "
                  "have one");
  AddKeyFileOption(*serve, args->keyFile);
  serve->add_flag("--status-pages", service.statusPages,
                  "Serve /status and /status.json, which list every sender's stamps: for loopback tests only");
  NoticeOptions& notices = service.notices;
  serve->add_option("--smtp", notices.smtpUrl,
                    "The relay mail notices are sent through: smtp://HOST:PORT (STARTTLS when offered) or "
                    "smtps://HOST:PORT; its password from the environment variable MAILWARDEN_SMTP_PASSWORD");
  serve->add_option("--smtp-user", notices.smtpUser,
                    "User name at the relay; the login goes over TLS only, unless the relay is on this machine");
  serve
      ->add_option("--smtp-ca", notices.smtpCaFile,
                   "The certificate authorities (PEM) the relay's certificate is checked against, where it is not "
                   "signed by one the system trusts")
      ->check(CLI::ExistingFile);
  serve->add_option("--smtp-from", notices.smtpFrom, "The address notices are sent from");
  serve->add_option("--public-url", notices.publicUrl,
                    "Where the senders reach this service (https://track.example.com), for the links in notices");
  serve
      ->add_option("--notices-per-hour", notices.hourlyCap,
                   "Mail notices per sender and hour; beyond it the hour's others come together in one mail")
      ->capture_default_str()
      ->check(WholeNumber(1, 100000));
  serve->add_flag("--webhooks-allow-private", notices.webhooksAllowPrivate,
                  "Deliver to webhooks on private, loopback and link-local addresses (refused by default, so the "
                  "service cannot be made to reach into its own network)");
  // Kept out of --help: no operator wants it.
  serve->add_option("--testing-clock-file", args->clockFile, "")->group("");
  serve->callback([args, &action] { action = [args] { return Serve(*args); }; });
}

}  // namespace mailwarden::cli

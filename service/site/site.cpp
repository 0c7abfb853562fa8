#include "service/site/site.h"

#include "protocol/service.h"
#include "service/links/link_pages.h"

namespace mailwarden::site {
namespace {

std::string HomePage() {
  return Page("Mailwarden",
              "<h1>Mailwarden</h1>\n<p>Tracking for your e-mail: know when your messages are opened, ask for "
              "read receipts, and send certified mail that is kept until it is read.</p>\n"
              "<ul><li><a href=\"/cvx/toua.txt\">Terms of use</a></li>"
              "<li><a href=\"/cvx/donation/\">Support Mailwarden</a></li></ul>");
}

std::string DonationPage() {
  return Page("Support Mailwarden",
              "<h1>Support Mailwarden</h1>\n<p>Mailwarden is free to use. If it helps you, a donation keeps "
              "it running. Thank you!</p>\n<p><a href=\"/cvx/\">Back to Mailwarden</a></p>");
}

}  // namespace

void AddRoutes(http::Router& router, Context&) {
  auto page = [](std::string body) {
    return [body = std::move(body)](const http::Request&) { return http::Html(200, body); };
  };
  router.Add("/", page(HomePage()), http::Runs::kOnNetworkThread);
  router.Add(corvanta::protocol::kPagesPath, page(HomePage()), http::Runs::kOnNetworkThread);
  router.Add(corvanta::protocol::kDonationPath, page(DonationPage()), http::Runs::kOnNetworkThread);
}

}  // namespace mailwarden::site

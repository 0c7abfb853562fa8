#include "service/site/site.h"

#include <memory>

#include "service/pages/pages.h"

namespace mailwarden::site {

http::Handler Handler(Context& context) {
  pages::PagesOptions options;
  options.clock = context.clock;
  options.donationText = context.options.donation;
  options.sealingKey = context.options.sealingKey;
  options.mailNotices = !context.options.notices.smtpUrl.empty();
  options.webhooksAllowPrivate = context.options.notices.webhooksAllowPrivate;
  if (!context.options.clientData.empty()) options.clients = events::SharedClientNames(context.options.clientData);
  auto site = std::make_shared<pages::Pages>(context.store, options);
  return [site](const http::Request& request) { return site->Handle(request); };
}

bool IsQuick(const http::Request& request) {
  return request.path == "/" || request.path == "/cvx/donation/" || request.path.starts_with("/cvx/static/");
}

}  // namespace mailwarden::site

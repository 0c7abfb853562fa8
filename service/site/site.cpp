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
  // Events this process writes reach the open pages at once; another
  // process's, at the pages' next look at the store.
  context.events.OnWritten([weak = std::weak_ptr<pages::Pages>(site)] {
    if (const auto pages = weak.lock()) pages->EventsWritten();
  });
  return [site](const http::Request& request) { return site->Handle(request); };
}

bool IsQuick(const http::Request& request) {
  return request.path == "/" || request.path == "/cvx/donation/" || request.path.starts_with("/cvx/static/");
}

}  // namespace mailwarden::site

#pragma once
// Who caused a recipient event: the recipient (a person), a machine (a mail
// scanner or an image proxy fetching ahead), or the sender looking at their
// own message.
#include "service/http/exchange.h"
#include "service/store/store.h"

namespace mailwarden::events {

store::EventClass Classify(const store::StampInfo& stamp, const http::Request& request, store::Time now);

}  // namespace mailwarden::events

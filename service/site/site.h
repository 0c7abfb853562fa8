#pragma once
// The site's own pages: "/" (the public page recipients reach from the
// notification) and everything under "/cvx/" but the terms of use: the
// sender's pages.
#include "service/context.h"
#include "service/http/router.h"

namespace mailwarden::site {

// One handler for "/" and "/cvx/*".
http::Handler Handler(Context& context);

// The requests of it that never wait on the database: the public pages and
// the pages' own stylesheet and script.
bool IsQuick(const http::Request& request);

}  // namespace mailwarden::site

#pragma once
// The site's own pages: "/" (the public page recipients reach from the
// notification) and everything under "/cvx/" but the terms of use.
#include "service/context.h"
#include "service/http/router.h"

namespace mailwarden::site {

void AddRoutes(http::Router& router, Context& context);

}  // namespace mailwarden::site

#pragma once
// The frame every page of the service shares, and the headers that keep
// pages safe: a Content-Security-Policy that allows only the service's own
// scripts and styles, no framing, no sniffing.
#include <string>
#include <string_view>

#include "service/http/exchange.h"

namespace mailwarden::pages {

// Who the page is shown to; a page for a signed-in sender shows the
// navigation and the sign-out button (a form with the session's CSRF token).
struct Viewer {
  std::string address;
  std::string csrf;
};

// A whole HTML page; title is text, body is HTML as it stands. A page that
// may run no script (the recipients' read page) leaves out the time script.
std::string Frame(std::string_view title, std::string_view body, const Viewer* viewer = nullptr,
                  bool withScript = true);

// An HTML reply with the pages' security headers. Pages of a signed-in
// sender are never cached.
http::Reply HtmlReply(int status, std::string html, bool privatePage = false);

// The security headers alone, for replies that are not HTML pages.
void AddSecurityHeaders(http::Reply& reply, bool privatePage);

// 303 See Other: after a form, the browser fetches the page with GET.
http::Reply Redirect(std::string location);

// A short page saying what went wrong, with a way back.
http::Reply Problem(int status, std::string_view title, std::string_view text, const Viewer* viewer = nullptr);
http::Reply NotFound(const Viewer* viewer = nullptr);

// A hidden field with the CSRF token, for every form that changes something.
std::string CsrfField(std::string_view token);

}  // namespace mailwarden::pages

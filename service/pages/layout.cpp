#include "service/pages/layout.h"

#include "service/pages/web_text.h"

namespace mailwarden::pages {

std::string CsrfField(std::string_view token) {
  return "<input type=\"hidden\" name=\"csrf\" value=\"" + Escape(token) + "\">";
}

std::string Frame(std::string_view title, std::string_view body, const Viewer* viewer, bool withScript) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<title>" +
      Escape(title) +
      " - Mailwarden</title>"
      "<link rel=\"stylesheet\" href=\"/cvx/static/site.css\">" +
      std::string(withScript ? "<script src=\"/cvx/static/local-time.js\" defer></script>" : "") +
      std::string(viewer && withScript ? "<script src=\"/cvx/static/live.js\" defer></script>" : "") +
      "</head>\n<body>\n<header class=\"bar\"><a class=\"brand\" href=\"" + std::string(viewer ? "/cvx/" : "/") +
      "\">Mailwarden</a>";
  if (viewer) {
    html +=
        "<nav><a href=\"/cvx/\">Messages</a> <a href=\"/cvx/export.csv\">Export CSV</a> "
        "<a href=\"/cvx/password\">Password</a> <a href=\"/cvx/key\">Add-in key</a> <a href=\"/cvx/codepage\">Code "
        "page</a> <a href=\"/cvx/settings\">Settings</a> <span class=\"who\">" +
        Escape(viewer->address) + "</span> <form class=\"inline\" method=\"post\" action=\"/cvx/signout\">" +
        CsrfField(viewer->csrf) + "<button type=\"submit\">Sign out</button></form></nav>";
  }
  html += "</header>\n<main>\n";
  html += body;
  html += "\n</main>\n</body></html>\n";
  return html;
}

void AddSecurityHeaders(http::Reply& reply, bool privatePage) {
  reply.Set("Content-Security-Policy",
            "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
            "form-action 'self'; frame-ancestors 'none'; base-uri 'none'");
  reply.Set("X-Content-Type-Options", "nosniff");
  reply.Set("X-Frame-Options", "DENY");
  reply.Set("Referrer-Policy", "same-origin");
  if (privatePage) reply.Set("Cache-Control", "no-store");
}

http::Reply HtmlReply(int status, std::string html, bool privatePage) {
  http::Reply reply;
  reply.status = status;
  reply.Set("Content-Type", "text/html; charset=utf-8");
  AddSecurityHeaders(reply, privatePage);
  reply.body = std::move(html);
  return reply;
}

http::Reply Redirect(std::string location) {
  http::Reply reply;
  reply.status = 303;
  reply.Set("Location", std::move(location));
  reply.Set("Cache-Control", "no-store");
  return reply;
}

http::Reply Problem(int status, std::string_view title, std::string_view text, const Viewer* viewer) {
  return HtmlReply(status,
                   Frame(title,
                         "<h1>" + Escape(title) + "</h1>\n<p>" + Escape(text) + "</p>\n<p><a href=\"" +
                             (viewer ? "/cvx/\">Back to your messages" : "/\">Mailwarden") + "</a></p>",
                         viewer),
                   viewer != nullptr);
}

http::Reply NotFound(const Viewer* viewer) {
  return Problem(404, "Not found", "There is no such page here.", viewer);
}

}  // namespace mailwarden::pages

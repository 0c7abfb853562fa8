#pragma once
// The small text forms of the web: HTML escaping, form and query fields as a
// browser sends them, cookies, and times as the pages show them.
#include <map>
#include <string>
#include <string_view>

#include "service/http/exchange.h"
#include "service/links/html.h"
#include "service/store/store.h"

namespace mailwarden::pages {

// Escapes &, <, >, " and ' so text is safe in an element or a quoted attribute.
inline std::string Escape(std::string_view text) {
  return HtmlEscape(text);
}

// application/x-www-form-urlencoded, as browsers write forms and queries:
// "+" is a space, "%XX" a byte. A broken escape keeps its characters; a key
// given twice keeps its first value.
std::map<std::string, std::string> ParseFields(std::string_view text);
// A field's value; empty when it was not given.
std::string FieldOf(const std::map<std::string, std::string>& fields, const std::string& name);

// "%XX" for every byte but letters, digits and "-._~", for a query value.
std::string QueryEscape(std::string_view text);

// The cookies of the request's Cookie headers; the first of a name wins.
std::map<std::string, std::string> ParseCookies(const http::Request& request);

// "2026-12-10T15:37:13Z".
std::string IsoTime(store::Time time);
// "2026-12-10 15:37 UTC", what a page shows without script.
std::string ShownTime(store::Time time);
// A <time> element the page's script turns into the browser's time zone.
std::string TimeElement(store::Time time);

// A whole decimal number in [1, 2^62], or 0.
std::int64_t ParseId(std::string_view text);

}  // namespace mailwarden::pages

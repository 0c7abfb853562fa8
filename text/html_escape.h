#pragma once
// Plain text made safe to stand as text inside HTML.
#include <string>

namespace corvanta::text {

// &, < and > become &amp;, &lt; and &gt;; everything else stays as it is.
std::string HtmlEscape(const std::string& plain);

}  // namespace corvanta::text

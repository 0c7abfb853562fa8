// mailwarden's reading of request targets, query strings and form
// bodies: a form it takes, written again with the add-in's escaping, reads
// the same; a form it refuses is refused with a BadRequest and a reason.
//
// Input: a request target or form body.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/encoding.h"
#include "service/requests/bad_request.h"
#include "service/requests/form.h"
#include "support/check.h"

namespace {

// The form as the add-in would write it: every key, value and token escaped.
std::string Written(const mailwarden::Form& form) {
  using corvanta::protocol::UrlEscape;
  std::string out;
  for (const auto& [key, value] : form.fields) out += UrlEscape(key) + "=" + UrlEscape(value) + "&";
  for (const std::string& token : form.tokens) out += UrlEscape(token) + "&";
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const std::string_view query = mailwarden::QueryOf(input);
  const std::size_t mark = input.find('?');
  fuzz::Require(mark == std::string_view::npos ? query.empty() : query == input.substr(mark + 1),
                "the query is what follows the first \"?\"");

  const auto decoded = mailwarden::PercentDecode(input);
  if (input.find('%') == std::string_view::npos) fuzz::Require(decoded == std::string(input), "no escape, no change");
  if (decoded) {
    fuzz::Require(mailwarden::PercentDecode(corvanta::protocol::UrlEscape(*decoded)) == decoded,
                  "decoded text escaped and decoded again is the same");
  }

  for (const std::string_view text : {input, query}) {
    mailwarden::Form form;
    try {
      form = mailwarden::ParseForm(text);
    } catch (const mailwarden::BadRequest& refused) {
      fuzz::Require(std::string_view(refused.what()).size() > 0, "a refusal gives a reason");
      continue;
    } catch (const std::exception& other) {
      fuzz::Fail("a malformed form is refused with BadRequest", other.what());
    }
    for (const std::string& token : form.tokens) fuzz::Require(!token.empty(), "a token is never empty");
    const std::string again = Written(form);
    try {
      const mailwarden::Form reread = mailwarden::ParseForm(again);
      fuzz::Require(reread.fields == form.fields && reread.tokens == form.tokens,
                    "a form written again with the add-in's escaping reads the same");
    } catch (const mailwarden::BadRequest& refused) {
      fuzz::Fail("a form written again with the add-in's escaping is taken", refused.what());
    }
    for (const auto& [key, value] : form.fields) {
      fuzz::Require(form.Required(key) == value && form.Optional(key) == value, "a field is found by its key");
    }
  }
  return 0;
}

#include <variant>

#include "addin/connect.h"
#include "settings/mod_registry.h"
#include "text/html_escape.h"
#include "text/word_wrap.h"

namespace corvanta {
namespace {

constexpr std::int32_t kDefaultLineLength = 76;
constexpr std::int32_t kShortestLine = 5;

// The document around the wrapped text, as Outlook 2000 writes it.
constexpr const char* kHtmlHead =
    "<HTML><HEAD><META content=\"text/html\""
    " http-equiv=Content-Type><META content=\"MSHTML"
    "5.00.2614.3401\" name=GENERATOR>"
    "</HEAD><BODY>"
    "<PRE>";
constexpr const char* kHtmlTail = "</PRE></BODY></HTML>";

std::int32_t AsLong(const modRegistry::Value& value) {
  if (const auto* number = std::get_if<std::int32_t>(&value)) return *number;
  if (const auto* shortNumber = std::get_if<std::int16_t>(&value)) return *shortNumber;
  return kDefaultLineLength;
}

}  // namespace

std::string Connect::MakeHtmlBody(std::string& plainBody, std::string& htmlBody, const std::string& insert,
                                  bool atEnd) {
  if (htmlBody.empty()) {
    // Outlook's own line length for plain-text mail.
    modRegistry::Value setting;
    modRegistry::ReadSetting(platform.registry, "HKCU", regPath, "Message Plain Character Line Wrap", "D",
                             kDefaultLineLength, setting);
    std::int32_t lineLength = AsLong(setting);
    if (lineLength < kShortestLine) lineLength = kShortestLine;
    plainBody = modWordWrap::WordWrap(plainBody, lineLength);
    // Escaped so that text between < and > still shows in the message.
    htmlBody = kHtmlHead + text::HtmlEscape(plainBody) + kHtmlTail;
  }
  htmlBody = atEnd ? htmlBody + insert : insert + htmlBody;
  return htmlBody;
}

}  // namespace corvanta

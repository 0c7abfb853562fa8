// MakeHtmlBody on the stand-in platform, with Outlook's line length setting
// absent, a DWORD of any value, or a value of any type and content.
//
// Input: byte 0 holds the switches (bit 0: insert at the end; bits 1-2: the
// setting absent, a DWORD, or a value of any type; bit 3: an HTML body is
// given); bytes 1-4 are the DWORD or the type; the rest, cut at NUL bytes, is
// the insert, the HTML body, the typed value's data and the plain body
// (which keeps any further NUL).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "support/check.h"
#include "support/stand_in_world.h"
#include "text/word_wrap.h"

namespace {

const std::string kWithSetting = "Software\\Microsoft\\Office\\9.0\\Outlook\\Options\\Mail";
const std::string kWithout = "Software\\Microsoft\\Office\\9.0\\Outlook\\Options\\Nothing";
const std::string kLineWrap = "Message Plain Character Line Wrap";
const std::string kHead =
    "<HTML><HEAD><META content=\"text/html\" http-equiv=Content-Type><META content=\"MSHTML5.00.2614.3401\" "
    "name=GENERATOR></HEAD><BODY><PRE>";
const std::string kTail = "</PRE></BODY></HTML>";

// &amp; &lt; &gt; back to their characters; nothing when a "&" starts anything else.
std::optional<std::string> Unescape(const std::string& html) {
  std::string out;
  for (std::size_t at = 0; at < html.size(); ++at) {
    if (html[at] != '&') {
      out += html[at];
      continue;
    }
    bool known = false;
    for (const auto& [entity, ch] : {std::pair{"&amp;", '&'}, std::pair{"&lt;", '<'}, std::pair{"&gt;", '>'}}) {
      const std::string name = entity;
      if (html.compare(at, name.size(), name) == 0) {
        out += ch;
        at += name.size() - 1;
        known = true;
        break;
      }
    }
    if (!known) return std::nullopt;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  fuzz::StandInWorld& world = fuzz::World();
  const bool atEnd = data[0] & 1;
  const int settingKind = (data[0] >> 1) & 3;
  const bool htmlGiven = data[0] & 8;
  const std::uint32_t number = data[1] | data[2] << 8 | data[3] << 16 | static_cast<std::uint32_t>(data[4]) << 24;
  const auto pieces = fuzz::Pieces(std::string_view(reinterpret_cast<const char*>(data) + 5, size - 5), '\0', 4);
  const std::string& insert = pieces[0];
  const std::string& rawSetting = pieces[2];

  // The line length the wrap must use, when the setting says it plainly.
  std::optional<std::int32_t> width;
  corvanta::Connect& addin = world.addin;
  if (settingKind == 0 || settingKind == 3) {
    addin.regPath = kWithout;
    width = 76;
  } else if (settingKind == 1) {
    addin.regPath = kWithSetting;
    world.desktop.registry.Put(host::HKEY_CURRENT_USER, kWithSetting, kLineWrap, host::sim::RegValue::Dword(number));
    width = std::max(static_cast<std::int32_t>(number), 5);
  } else {
    addin.regPath = kWithSetting;
    world.desktop.registry.Put(host::HKEY_CURRENT_USER, kWithSetting, kLineWrap,
                               host::sim::RegValue{number, {rawSetting.begin(), rawSetting.end()}});
    // Whatever its type, a value of four bytes or fewer is read as the
    // number's low bytes; a longer one does not fit and leaves the default.
    if (rawSetting.size() <= 4) {
      std::uint32_t low = 0;
      for (std::size_t i = rawSetting.size(); i > 0; --i) low = low << 8 | static_cast<std::uint8_t>(rawSetting[i - 1]);
      width = std::max(static_cast<std::int32_t>(low), 5);
    } else {
      width = 76;
    }
  }

  const std::string originalPlain = pieces[3];
  const std::string originalHtml = htmlGiven ? pieces[1] : std::string();
  std::string plain = originalPlain, html = originalHtml;
  const std::string result = addin.MakeHtmlBody(plain, html, insert, atEnd);

  fuzz::Require(result == html, "the result is the new HTML body");
  fuzz::Require(world.desktop.registry.OpenHandles() == 0, "every registry key opened is closed");
  fuzz::Require(world.desktop.windowing.Messages().empty(), "no message box");
  const bool insertFits = html.size() >= insert.size();
  fuzz::Require(insertFits, "the insert is in the body");
  const std::string body = atEnd ? html.substr(0, html.size() - insert.size()) : html.substr(insert.size());
  fuzz::Require(
      atEnd ? html.compare(body.size(), std::string::npos, insert) == 0 : html.compare(0, insert.size(), insert) == 0,
      "the insert stands at the chosen end");

  if (!originalHtml.empty()) {
    fuzz::Require(body == originalHtml, "an HTML body is kept as it is");
    fuzz::Require(plain == originalPlain, "with an HTML body the plain body is left alone");
    return 0;
  }
  const bool framed = body.size() >= kHead.size() + kTail.size() && body.compare(0, kHead.size(), kHead) == 0 &&
                      body.compare(body.size() - kTail.size(), kTail.size(), kTail) == 0;
  fuzz::Require(framed, "the plain text stands in the HTML document's <PRE> block");
  const std::string block = body.substr(kHead.size(), body.size() - kHead.size() - kTail.size());
  fuzz::Require(block.find_first_of("<>") == std::string::npos, "no markup inside the <PRE> block");
  const auto unescaped = Unescape(block);
  if (!unescaped || *unescaped != plain) {
    fuzz::Fail("the <PRE> block reads as the caller's new plain body",
               "block \"" + fuzz::Shown(block) + "\", plain \"" + fuzz::Shown(plain) + "\"");
  }
  if (width) {
    fuzz::Require(plain == corvanta::modWordWrap::WordWrap(originalPlain, *width),
                  "the plain body is wrapped at Outlook's line length, 5 at the least");
  }
  return 0;
}

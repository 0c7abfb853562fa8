#include <string>

#include "addin/connect.h"
#include "host/utf8.h"
#include "protocol/service.h"

namespace corvanta {

namespace {

// A reply's own text is shown, but a message box is no place for megabytes,
// and control bytes garble it (a NUL ends the text early: an empty box).
constexpr std::size_t kMaxShown = 1000;

std::string Showable(const std::string& text) {
  std::string shown(host::utf8::Left(text, kMaxShown));
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t' && c != '\r' && c != '\n') || byte == 0x7f) c = '?';
  }
  if (shown.size() < text.size()) shown += "...";
  return shown;
}

}  // namespace

bool Connect::React(const std::string& response, const std::string& defaultMsg) {
  if (response.size() >= 3 && response.compare(0, 3, "qo;") == 0) return true;
  if (host::utf8::Units(response) < 5) {
    platform.windowing.MsgBox(defaultMsg + "\r\n" + "Please contact us with the error# at " +
                              protocol::kSupportAddress);
    return false;
  }
  // "qx;" and anything else alike: the text after the first three characters.
  const std::string message = response.substr(host::utf8::Left(response, 3).size());
  if (message != "not0") platform.windowing.MsgBox(Showable(message));
  return false;
}

void Connect::ShowStepError(std::int16_t stepCode) {
  const char* text = nullptr;
  switch (stepCode) {
    case 0:
      return;
    case 7:
      text = "Connection timeout! Please check your Internet connection and try again. #";
      break;
    case 80:
      text = "Redemption.dll was not installed properly! #";
      break;
    case 88:
      text = "Failed to load your email address! #";
      break;
    default:
      text = "An error was occured! #";
      break;
  }
  platform.windowing.MsgBox(text + std::to_string(stepCode));
}

}  // namespace corvanta

// Connect::React on the stand-in platform: which replies count as success,
// and the one message the user sees for a failure.
//
// Input: the reply as the service sent it, read as UTF-8: characters are
// counted in UTF-16 units, as the platform's strings count them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/utf8.h"
#include "support/check.h"
#include "support/stand_in_world.h"

namespace {
const std::string kDefaultMessage = "An error occured while retrieving credit info(Error#1)";
// A thousand characters of the reply and an ellipsis.
constexpr std::size_t kLongestShown = 1003;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::StandInWorld& world = fuzz::World();
  const std::string reply(reinterpret_cast<const char*>(data), size);
  const bool success = world.addin.React(reply, kDefaultMessage);
  const auto& messages = world.desktop.windowing.Messages();

  fuzz::Require(success == (reply.rfind("qo;", 0) == 0), "success exactly when the reply starts with \"qo;\"");
  fuzz::Require(messages.size() <= 1, "at most one message box per reply");
  if (success) fuzz::Require(messages.empty(), "no message box for a success");
  if (reply == "qx;not0") fuzz::Require(messages.empty(), "no message box for \"qx;not0\"");
  // Every other failure tells the user something. Its text is what follows
  // the first three characters.
  const std::string rest = reply.substr(host::utf8::Left(reply, 3).size());
  const bool silentFailure = host::utf8::Units(reply) >= 5 && rest == "not0";
  if (!success && !silentFailure) {
    fuzz::Require(messages.size() == 1, "one message box for a failure");
    const std::string& shown = messages[0].text;
    fuzz::Require(!shown.empty(), "the message box says something");
    // Readable whatever the reply: no control bytes (a NUL would end the
    // text early) and no more than a screenful of the reply.
    for (const char c : shown) {
      const auto byte = static_cast<unsigned char>(c);
      fuzz::Require(byte >= 0x20 ? byte != 0x7F : c == '\t' || c == '\r' || c == '\n',
                    "the message box holds no control characters");
    }
    fuzz::Require(host::utf8::Units(shown) <= kLongestShown, "the message box holds a thousand characters at most");
    // A short, plain reply is shown as it came, after its first three characters.
    bool plain = host::utf8::Units(reply) >= 5 && host::utf8::Units(rest) <= 1000;
    for (std::size_t i = 0; plain && i < rest.size(); ++i) {
      const auto byte = static_cast<unsigned char>(rest[i]);
      plain = byte >= 0x20 && byte != 0x7F;
    }
    if (plain) fuzz::Require(shown == rest, "a short reply's own text is shown as it came");
  }
  return 0;
}

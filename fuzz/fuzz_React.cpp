// Connect::React on the stand-in platform: which replies count as success,
// and the one message the user sees for a failure.
//
// Input: the reply as the service sent it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "support/check.h"
#include "support/stand_in_world.h"

namespace {
const std::string kDefaultMessage = "An error occured while retrieving credit info(Error#1)";
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
  // Every other failure tells the user something.
  const bool silentFailure = reply.size() == 7 && reply.compare(3, 4, "not0") == 0;
  if (!success && !silentFailure) {
    fuzz::Require(messages.size() == 1, "one message box for a failure");
    fuzz::Require(!messages[0].text.empty(), "the message box says something");
  }
  return 0;
}

// The stand-in registry's .reg reader: a malformed text is refused with a
// host::Error naming where, and changes nothing; a text it takes is written
// back by RegText into a text that loads to the very same registry.
//
// Input: the .reg text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/error.h"
#include "host/sim/registry.h"
#include "support/check.h"

namespace {

const std::string kOrigin = "fuzz.reg";

// A registry that already holds something, so that "changes nothing" shows.
void Prefill(host::sim::SimRegistry& registry) {
  registry.Put(host::HKEY_CURRENT_USER, "Software\\Corvanta", "Kept", host::sim::RegValue::String("as it was"));
  registry.Put(host::HKEY_LOCAL_MACHINE, "Software\\Corvanta", "Count", host::sim::RegValue::Dword(7));
}

// Loads text; false (with the registry unchanged) when it is refused.
bool Load(host::sim::SimRegistry& registry, const std::string& text) {
  const std::string before = registry.RegText();
  try {
    registry.LoadRegText(text, kOrigin);
    return true;
  } catch (const host::Error& refused) {
    const std::string why = refused.what();
    if (why.rfind(kOrigin + ":", 0) != 0 || why.size() <= kOrigin.size() + 1) {
      fuzz::Fail("a refusal names the text and the line", why);
    }
  } catch (const std::exception& other) {
    fuzz::Fail("a malformed text is refused with host::Error", other.what());
  }
  fuzz::Require(registry.RegText() == before, "a refused text changes nothing");
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  host::sim::SimRegistry registry;
  Prefill(registry);
  if (!Load(registry, text)) return 0;
  fuzz::Require(registry.OpenHandles() == 0, "loading leaves no key open");
  const std::string saved = registry.RegText();

  host::sim::SimRegistry again;
  if (!Load(again, saved)) fuzz::Fail("what RegText writes loads again", fuzz::Shown(saved));
  const std::string resaved = again.RegText();
  if (resaved != saved) {
    fuzz::Fail("a saved text loads to the same registry", "input \"" + fuzz::Shown(text) + "\"\nsaved \"" +
                                                              fuzz::Shown(saved) + "\"\nresaved \"" +
                                                              fuzz::Shown(resaved) + "\"");
  }

  // Each line sets, deletes or creates outright: loading twice changes nothing more.
  Load(registry, text);
  fuzz::Require(registry.RegText() == saved, "loading the same text twice gives the same registry");
  return 0;
}

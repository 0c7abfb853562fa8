#pragma once
// The real platform behind every host interface, in one object.
#include "host/platform.h"
#include "host/win32/redemption.h"
#include "host/win32/registry.h"
#include "host/win32/services.h"
#include "host/win32/transfer.h"
#include "host/win32/windowing.h"

namespace host::win32 {

class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;

  host::Platform& Get() { return platform_; }

 private:
  Registry registry_;
  Windowing windowing_;
  Redemption redemption_;
  Internet internet_;
  Clock clock_;
  Random random_;
  UrlHandler urlHandler_;
  CodePage codePage_;
  host::Platform platform_{registry_, windowing_, redemption_, internet_, clock_, random_, urlHandler_, codePage_};
};

}  // namespace host::win32

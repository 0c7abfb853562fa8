#pragma once
// Everything the add-in reaches beyond Outlook's own objects, which come
// with OnConnection.
#include "host/commandbars.h"
#include "host/error.h"
#include "host/form.h"
#include "host/outlook.h"
#include "host/redemption.h"
#include "host/registry.h"
#include "host/services.h"
#include "host/transfer.h"
#include "host/windowing.h"

namespace host {

struct Platform {
  Registry& registry;
  Windowing& windowing;
  Redemption& redemption;
  Internet& internet;
  Clock& clock;
  Random& random;
  UrlHandler& urlHandler;
  CodePage& codePage;
};

}  // namespace host

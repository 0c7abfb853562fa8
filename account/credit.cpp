#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>

#include "addin/connect.h"
#include "protocol/encoding.h"
#include "protocol/service.h"
#include "sending/dlg_progress.h"
#include "sending/request_signing.h"
#include "settings/val.h"

namespace corvanta {

std::int32_t Connect::GetCredit(dlgProgress& progress, const std::string& address) {
  std::int16_t stepCode = 0;
  std::int32_t credit = -1;
  try {
    stepCode = 40;
    progress.Show();
    platform.windowing.DoEvents();
    progress.SetProgressLabel("Retrieving credit info...");
    platform.windowing.DoEvents();

    stepCode = 7;
    const std::string query = "email=" + protocol::UrlEscape(address, platform.codePage) +
                              "&hash=" + protocol::MakeHash(address, platform.codePage, platform.random);
    const std::string reply = progress.Inet1().OpenURL(protocol::ServiceUrl(serviceHost, protocol::kCreditPath) + "?" +
                                                       query + sending::RequestSignature(*this, query));

    stepCode = 41;
    progress.SetValue(progress.Value() + 1);
    platform.windowing.DoEvents();

    // The count is the number the reply starts with after "qo;". A number
    // beyond the 32-bit range is an error of this step: the query ends with
    // -1 and the step's message. A count below 0 is no credit: as a negative
    // result it would pass for a failure already reported, and a send would
    // end without a word.
    if (React(reply, "An error occured while retrieving credit info(Error#1)")) {
      const double count = std::nearbyint(Val(std::string_view(reply).substr(3)));
      if (!(count >= std::numeric_limits<std::int32_t>::min() && count <= std::numeric_limits<std::int32_t>::max()))
        throw std::overflow_error("the credit is beyond the 32-bit range");
      credit = std::max<std::int32_t>(0, RoundToLong(count));
    } else {
      credit = -1;
    }
    stepCode = 0;
  } catch (const std::exception&) {
    credit = -1;
  }
  ShowStepError(stepCode);
  return credit;
}

}  // namespace corvanta

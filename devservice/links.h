#pragma once
// The links in the mail the add-in sends: the tracking image and the receipt
// link ("img=1&" and the stamp, or the stamp alone), and the certified
// message's read and cancel links (the stamp, and "&cmd=del" to cancel).
#include <string>
#include <string_view>

#include "devservice/service.h"

namespace mailwarden {

struct PageReply {
  int status = 200;
  std::string contentType;
  std::string body;
};

PageReply TrackingLink(Service& service, std::string_view query);
PageReply CertifiedLink(Service& service, std::string_view query);

}  // namespace mailwarden

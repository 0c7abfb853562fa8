#pragma once
// The two HTML inserts of a tracked send. Each recipient's insert is the head,
// that recipient's stamp (unescaped) and the tail.
#include <string>

namespace corvanta::sending {

struct Insert {
  std::string head;
  std::string tail;
};

// "Automatic": an invisible 1x1 image fetched from the service with the stamp.
Insert TrackingImage(const std::string& serviceHost);

// "Request receipt": a boxed notice with a "Send a read receipt" link.
Insert ReceiptRequest(const std::string& serviceHost);

}  // namespace corvanta::sending

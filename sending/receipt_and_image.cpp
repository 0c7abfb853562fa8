// "Automatic" and "Request receipt": the tracked send with the tracking image
// after the body, or the receipt notice in front of it.
#include "addin/connect.h"
#include "sending/inserts.h"

namespace corvanta {

void Connect::autoButton_Click(ButtonPtr, bool&) {
  const sending::Insert insert = sending::TrackingImage(serviceHost);
  SendTracked(insert.head, insert.tail, true);
}

void Connect::requButton_Click(ButtonPtr, bool&) {
  const sending::Insert insert = sending::ReceiptRequest(serviceHost);
  SendTracked(insert.head, insert.tail, false);
}

}  // namespace corvanta

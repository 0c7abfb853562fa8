#pragma once
// The links in the mail the add-in sends: the tracking image and the receipt
// link ("img=1&" and the stamp, or the stamp alone), and the certified
// message's read and cancel links (the stamp, and "&cmd=del" to cancel).
#include "service/context.h"
#include "service/http/exchange.h"

namespace mailwarden {

// Answers at once; the event is queued (the image) or looked up and queued
// (the receipt).
http::Reply TrackingLink(Context& context, const http::Request& request);
// Reading and cancelling are committed before the reply.
http::Reply CertifiedLink(Context& context, const http::Request& request);

// True for a tracking image request, which never waits on the database.
bool IsImageRequest(const http::Request& request);

}  // namespace mailwarden

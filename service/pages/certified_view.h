#pragma once
// What the recipients' certified-mail link ("/p/b01/tovik.php") shows. The
// service's link handler reads or cancels through the store, then calls
// these for the reply.
//
// Sender-written HTML is never a page of the service's own origin: it is
// shown in a frame sandboxed without scripts and without the origin, and
// the reply carrying it has "Content-Security-Policy: sandbox", so a message
// can run no script against the service or a signed-in sender.
#include <optional>

#include "service/http/exchange.h"
#include "service/store/store.h"

namespace mailwarden::pages {

// The read page: the message in its frame, or escaped plain text; 404 for an
// unknown stamp, 410 for a cancelled or expired one.
http::Reply RenderCertified(const store::Certified& certified);

// The page after the cancel link of the sender's kept copy ("&cmd=del"):
// what the store's Cancel answered, for the delivery the stamp names.
http::Reply RenderCancelResult(store::CertifiedState state, const std::optional<store::StampInfo>& info);

// The same sentence the sender's own pages show after "Cancel delivery".
std::string CancelResultText(store::CertifiedState state, const store::StampInfo* info);

}  // namespace mailwarden::pages

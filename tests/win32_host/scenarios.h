#pragma once
#include "outlook_process.h"

namespace standin {

// A first start against mailwarden-dev: terms, About, the three kinds of
// tracked sending, too little credit, the credit in the About window.
void FirstStart(const Options& options);
// A second start with the service gone: no dialogs at start, and a send
// stops at the credit query with the connection message.
void ServiceDown(const Options& options);
// Redemption missing: start-up stops at step 80 and the add-in stays inert.
void NoRedemption(const Options& options);

}  // namespace standin

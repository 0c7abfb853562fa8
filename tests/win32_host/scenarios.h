#pragma once
#include "outlook_process.h"

namespace standin {

// A first start against mailwarden: terms, About, the three kinds of
// tracked sending, too little credit, the credit in the About window.
void FirstStart(const Options& options);
// A second start with Word as the e-mail editor and the service gone: no
// terms or About, the editor question, and a send that stops at the credit
// query with the connection message.
void ServiceDown(const Options& options);
// The terms refused: the add-in stays loaded but shows no drop-down.
void TermsDeclined(const Options& options);
// Redemption missing: start-up stops at step 80 and the add-in stays inert.
void NoRedemption(const Options& options);

}  // namespace standin

#pragma once
// The classes of the stand-in Outlook, Office command bars and Redemption as
// COM objects over the stand-ins of host/sim. Each Wrap gives a new object
// with one reference (in the Value), or Nothing for a null stand-in.
#include <functional>
#include <memory>

#include "host/commandbars.h"
#include "host/outlook.h"
#include "host/redemption.h"
#include "host/sim/outlook.h"
#include "host/sim/redemption.h"
#include "host_object.h"

namespace standin {

// Office's and Outlook's interface IDs share this pattern: {xxxxxxxx-0000-0000-C000-000000000046}.
constexpr IID OfficeIid(unsigned long first) {
  return {first, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
}

Value WrapApplication(std::shared_ptr<host::sim::SimOutlook> outlook);
Value WrapInspector(std::shared_ptr<host::Inspector> inspector);
Value WrapMailItem(std::shared_ptr<host::MailItem> item);
Value WrapFolder(std::shared_ptr<host::Folder> folder);
Value WrapCommandBars(std::shared_ptr<host::CommandBars> bars);
Value WrapControl(std::shared_ptr<host::CommandBarControl> control);

Value WrapSafeMailItem(std::shared_ptr<host::SafeMailItem> item);
Value WrapSafeCurrentUser(std::shared_ptr<host::SafeCurrentUser> user);
Value WrapMAPIUtils(std::shared_ptr<host::MAPIUtils> utils);

// Events raised on sinks that did not answer S_OK; a connection point does
// not care, but the add-in must never fail towards Outlook.
int FailedEvents();
// Keeps a sink's answer to one event for FailedEvents.
void NoteEventResult(HRESULT hr);

// Called on every Redemption Send before the stand-in sends, on Outlook's
// thread: the test looks at the progress window there.
void SetBeforeSend(std::function<void(host::SafeMailItem&)> observer);

}  // namespace standin

// Sent Items' ItemAdd. With "Save copies of messages in Sent Items" on,
// Outlook 2000/2002 file a sent message in Sent Items only after the MAPI
// spooler has handed it to the transport (IMsgStore::FinishedMsg, then
// IMAPISupport::DoSentMail moves it to the folder PR_SENTMAIL_ENTRYID
// names): later than SafeMailItem.Send returns, on Outlook's thread through
// its window messages. The folder's Items collection then raises ItemAdd
// (ItemsEvents {00063077-0000-0000-C000-000000000046}, DISPID 0xF001, one
// IDispatch argument: the item now in the folder). Sources: Microsoft's
// MAPI reference for IMAPISupport::DoSentMail and IMsgStore::FinishedMsg,
// and the Outlook 9.0 type library (ItemsEvents, MAPIFolder.Items 0x3100).
#include <memory>

#include "host/win32/dispids.h"
#include "host/win32/event_sink.h"
#include "host/win32/events.h"

namespace host::win32 {
namespace {

class ItemsEvents final : public EventSink {
 public:
  using Handler = std::function<void(ComPtr<IDispatch>)>;
  explicit ItemsEvents(Handler handler)
      : EventSink(IID_ItemsEvents), handler_(std::make_shared<Handler>(std::move(handler))) {}

 private:
  void OnEvent(DISPID id, DISPPARAMS& params) override {
    if (id != kItemAdd) return;
    VARIANT* item = Argument(params, 1, 0, VT_DISPATCH);
    if (!item || !item->pdispVal) return;
    auto handler = handler_;  // survives the handler dropping this subscription
    (*handler)(ComPtr<IDispatch>(item->pdispVal));
  }

  std::shared_ptr<Handler> handler_;
};

}  // namespace

Subscription ListenItemAdd(IDispatch& items, std::function<void(ComPtr<IDispatch>)> handler) {
  auto sink = ComPtr<EventSink>::Adopt(new ItemsEvents(std::move(handler)));
  return EventSink::Advise(std::move(sink), items);
}

}  // namespace host::win32

#include <memory>

#include "host/win32/dispids.h"
#include "host/win32/event_sink.h"
#include "host/win32/events.h"

namespace host::win32 {
namespace {

class ButtonEvents final : public EventSink {
 public:
  using Handler = std::function<void(ComPtr<IDispatch>, bool&)>;
  explicit ButtonEvents(Handler handler)
      : EventSink(IID_CommandBarButtonEvents), handler_(std::make_shared<Handler>(std::move(handler))) {}

 private:
  void OnEvent(DISPID id, DISPPARAMS& params) override {
    if (id != kClick) return;
    VARIANT* ctrl = Argument(params, 2, 0, VT_DISPATCH);
    VARIANT* cancelDefault = Argument(params, 2, 1, VT_BOOL | VT_BYREF);
    if (!ctrl || !cancelDefault || !cancelDefault->pboolVal) return;
    bool cancel = *cancelDefault->pboolVal != VARIANT_FALSE;
    auto handler = handler_;  // a click may replace the buttons and drop this subscription
    (*handler)(ComPtr<IDispatch>(ctrl->pdispVal), cancel);
    *cancelDefault->pboolVal = cancel ? VARIANT_TRUE : VARIANT_FALSE;
  }

  std::shared_ptr<Handler> handler_;
};

}  // namespace

Subscription ListenClick(IDispatch& button, std::function<void(ComPtr<IDispatch>, bool&)> handler) {
  auto sink = ComPtr<EventSink>::Adopt(new ButtonEvents(std::move(handler)));
  return EventSink::Advise(std::move(sink), button);
}

}  // namespace host::win32

#include <memory>

#include "host/win32/dispids.h"
#include "host/win32/event_sink.h"
#include "host/win32/events.h"

namespace host::win32 {
namespace {

class InspectorsEvents final : public EventSink {
 public:
  using Handler = std::function<void(ComPtr<IDispatch>)>;
  explicit InspectorsEvents(Handler handler)
      : EventSink(IID_InspectorsEvents), handler_(std::make_shared<Handler>(std::move(handler))) {}

 private:
  void OnEvent(DISPID id, DISPPARAMS& params) override {
    if (id != kNewInspector) return;
    VARIANT* inspector = Argument(params, 1, 0, VT_DISPATCH);
    if (!inspector || !inspector->pdispVal) return;
    auto handler = handler_;  // survives the handler dropping this subscription
    (*handler)(ComPtr<IDispatch>(inspector->pdispVal));
  }

  std::shared_ptr<Handler> handler_;
};

}  // namespace

Subscription ListenNewInspector(IDispatch& inspectors, std::function<void(ComPtr<IDispatch>)> handler) {
  auto sink = ComPtr<EventSink>::Adopt(new InspectorsEvents(std::move(handler)));
  return EventSink::Advise(std::move(sink), inspectors);
}

}  // namespace host::win32

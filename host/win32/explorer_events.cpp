#include <memory>

#include "host/win32/dispids.h"
#include "host/win32/event_sink.h"
#include "host/win32/events.h"

namespace host::win32 {
namespace {

class ExplorerEvents final : public EventSink {
 public:
  using Handler = std::function<void()>;
  explicit ExplorerEvents(Handler handler)
      : EventSink(IID_ExplorerEvents), handler_(std::make_shared<Handler>(std::move(handler))) {}

 private:
  void OnEvent(DISPID id, DISPPARAMS& params) override {
    if (id != kExplorerClose || params.cArgs != 0) return;
    auto handler = handler_;  // the handler drops the subscription that holds it
    (*handler)();
  }

  std::shared_ptr<Handler> handler_;
};

}  // namespace

Subscription ListenExplorerClose(IDispatch& explorer, std::function<void()> handler) {
  auto sink = ComPtr<EventSink>::Adopt(new ExplorerEvents(std::move(handler)));
  return EventSink::Advise(std::move(sink), explorer);
}

}  // namespace host::win32

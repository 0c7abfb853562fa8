#pragma once
// The events the add-in listens to, one sink class per event source (see
// inspectors_events.cpp, items_events.cpp, explorer_events.cpp, button_events.cpp). Each call
// advises a new sink; the subscription unadvises it when it goes.
#include <functional>

#include "host/subscription.h"
#include "host/win32/com.h"

namespace host::win32 {

// Inspectors: NewInspector(Inspector).
Subscription ListenNewInspector(IDispatch& inspectors, std::function<void(ComPtr<IDispatch> inspector)> handler);
// Items: ItemAdd(Item), for any kind of item.
Subscription ListenItemAdd(IDispatch& items, std::function<void(ComPtr<IDispatch> item)> handler);
// Explorer: Close().
Subscription ListenExplorerClose(IDispatch& explorer, std::function<void()> handler);
// CommandBarButton: Click(Ctrl, CancelDefault); the handler may change CancelDefault.
Subscription ListenClick(IDispatch& button, std::function<void(ComPtr<IDispatch> ctrl, bool& cancelDefault)> handler);

}  // namespace host::win32

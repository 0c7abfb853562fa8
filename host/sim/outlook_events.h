#pragma once
// An event of a stand-in object: any number of subscribers, each held until
// its host::Subscription goes. Raising calls the subscribers present when the
// event was raised and still subscribed at their turn.
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "host/subscription.h"

namespace host::sim {

template <class... Args>
class EventSource {
 public:
  using Handler = std::function<void(Args...)>;

  host::Subscription Subscribe(Handler handler) {
    int id = state_->next++;
    state_->handlers.emplace(id, std::make_shared<Handler>(std::move(handler)));
    return host::Subscription([weak = std::weak_ptr<State>(state_), id] {
      if (auto state = weak.lock()) state->handlers.erase(id);
    });
  }

  void Raise(Args... args) {
    std::vector<int> ids;
    for (const auto& entry : state_->handlers) ids.push_back(entry.first);
    for (int id : ids) {
      auto found = state_->handlers.find(id);
      if (found == state_->handlers.end()) continue;
      auto handler = found->second;  // stays alive even if it unsubscribes itself
      (*handler)(args...);
    }
  }

  std::size_t Count() const { return state_->handlers.size(); }

 private:
  struct State {
    int next = 1;
    std::map<int, std::shared_ptr<Handler>> handlers;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace host::sim

#pragma once
// The live pages' streams (Server-Sent Events): each open messages list or
// message page hears of its sender's new events within a poll of the
// store, whichever service process wrote them. One thread polls the newest
// event of each sender with a page open; the streams wait without holding a
// worker. Streams are capped per session, per client address and in all,
// end after a while (the browser opens a new one) and keep alive with a
// comment now and then, so a client gone is noticed.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "service/http/exchange.h"
#include "service/store/store.h"

namespace mailwarden::pages {

struct LiveLimits {
  int perSession = 2;
  int perClient = 6;
  int total = 256;
  std::chrono::milliseconds poll{200};
  std::chrono::seconds keepAlive{15};
  std::chrono::seconds lifetime{300};
};

class LiveHub {
 public:
  LiveHub(store::Store& store, LiveLimits limits = {});
  ~LiveHub();
  LiveHub(const LiveHub&) = delete;
  LiveHub& operator=(const LiveHub&) = delete;

  // A stream of the account's events (of one message, or of all with 0)
  // after the event `after` (the newest the page showed; 0: from now on),
  // as a reply's wait; nothing when a cap is reached. Each piece is one
  // event "change" whose data is how many events came.
  std::optional<std::function<void(http::Reply::Give)>> Open(std::int64_t accountId, std::int64_t messageId,
                                                             std::int64_t after, const std::string& session,
                                                             const std::string& client);
  // Looks at the store now rather than at the next poll: this process has
  // just written events. Looks come at most every few milliseconds however
  // often it is called.
  void Wake();

 private:
  struct Stream;
  struct Counts;
  void Run();

  store::Store& store_;
  LiveLimits limits_;
  std::shared_ptr<Counts> counts_;
  // Shared with the streams' waits, which may be asked after the hub is gone.
  struct State {
    std::mutex mutex;
    bool stopping = false;
    bool woken = false;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
  std::condition_variable wake_;
  std::vector<std::weak_ptr<Stream>> streams_;   // guarded by the state's mutex
  std::map<std::int64_t, std::int64_t> newest_;  // by account: the newest event id seen
  std::thread thread_;
};

}  // namespace mailwarden::pages

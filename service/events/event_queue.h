#pragma once
// Image fetches and receipt clicks are answered at once and written in
// batches by one writer thread: whatever arrived while the last batch was
// being written goes in the next transaction, so the database is at most
// one batch (well under 100 ms) behind the replies.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "service/events/classify.h"
#include "service/http/exchange.h"
#include "service/http/metrics.h"
#include "service/store/store.h"

namespace mailwarden::events {

struct Pending {
  store::EventType type = store::EventType::kImage;
  std::string stamp;
  store::Time time = 0;
  http::Request request;  // without its body: for the classification
  // A visit of a link is kept only when a machine made it (a person's visit
  // is followed by the press of the page's button, or by nothing).
  bool onlyMachine = false;
};

class EventQueue {
 public:
  EventQueue(store::Store& store, http::Metrics& metrics, const Classifier& classifier);
  // Writes what is queued, then stops.
  ~EventQueue();
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;

  void Push(Pending event);
  // Returns once everything pushed before the call is written (or given up).
  void Flush();
  std::size_t Depth() const;
  // Each is called on the writer's thread after each batch is written (keep
  // it short: the queue waits); ForgetWritten drops them all.
  void OnWritten(std::function<void()> written);
  void ForgetWritten();

 private:
  void Run();
  void Write(std::vector<Pending>& batch);
  store::StampInfo* Lookup(const std::string& stamp);

  store::Store& store_;
  http::Metrics& metrics_;
  const Classifier& classifier_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable written_;
  std::vector<Pending> queue_;
  std::uint64_t pushed_ = 0;
  std::uint64_t done_ = 0;
  bool stop_ = false;
  // Stamps seen lately, so a busy image costs no lookup; unknown stamps too.
  std::unordered_map<std::string, std::optional<store::StampInfo>> known_;
  std::vector<std::function<void()>> onWritten_;
  std::thread writer_;
};

}  // namespace mailwarden::events

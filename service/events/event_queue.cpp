#include "service/events/event_queue.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>
#include <string_view>
#include <tuple>

namespace mailwarden::events {
namespace {

constexpr std::size_t kMaxQueued = 100'000;  // beyond this a flood is dropped, not kept in memory
// A queued request keeps no more of a header than this: a flood of hits
// with huge headers would otherwise sit in memory until written.
constexpr std::size_t kMaxHeaderKept = 1024;
constexpr std::size_t kMaxKnown = 100'000;
constexpr int kAttempts = 5;

}  // namespace

EventQueue::EventQueue(store::Store& store, http::Metrics& metrics, const Classifier& classifier)
    : store_(store), metrics_(metrics), classifier_(classifier), writer_([this] { Run(); }) {}

EventQueue::~EventQueue() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  writer_.join();
}

void EventQueue::Push(Pending event) {
  event.request.body.clear();
  for (auto& [name, value] : event.request.headers) {
    if (value.size() > kMaxHeaderKept) value.resize(kMaxHeaderKept);
  }
  {
    std::lock_guard lock(mutex_);
    if (queue_.size() >= kMaxQueued) {
      metrics_.CountDroppedEvents(1);
      return;
    }
    queue_.push_back(std::move(event));
    ++pushed_;
  }
  wake_.notify_one();
}

void EventQueue::OnWritten(std::function<void()> written) {
  std::lock_guard lock(mutex_);
  onWritten_.push_back(std::move(written));
}

void EventQueue::ForgetWritten() {
  std::lock_guard lock(mutex_);
  onWritten_.clear();
}

void EventQueue::Flush() {
  std::unique_lock lock(mutex_);
  std::uint64_t target = pushed_;
  written_.wait(lock, [&] { return done_ >= target; });
}

std::size_t EventQueue::Depth() const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(pushed_ - done_);
}

void EventQueue::Run() {
  std::vector<Pending> batch;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
    if (queue_.empty() && stop_) return;
    batch.swap(queue_);
    lock.unlock();
    Write(batch);
    std::size_t count = batch.size();
    batch.clear();
    lock.lock();
    for (const auto& written : onWritten_) written();
    done_ += count;
    written_.notify_all();
  }
}

store::StampInfo* EventQueue::Lookup(const std::string& stamp) {
  auto found = known_.find(stamp);
  if (found == known_.end()) {
    if (known_.size() >= kMaxKnown) known_.clear();
    found = known_.emplace(stamp, store_.FindStamp(stamp)).first;
  }
  return found->second ? &*found->second : nullptr;
}

void EventQueue::Write(std::vector<Pending>& batch) {
  for (int attempt = 1;; ++attempt) {
    try {
      std::vector<store::NewEvent> events;
      events.reserve(batch.size());
      // Events alike within the batch go to the store as one with a count.
      std::map<std::tuple<std::string_view, store::EventType, store::EventClass, std::string_view>, std::size_t> alike;
      for (const Pending& pending : batch) {
        store::StampInfo* info = Lookup(pending.stamp);
        if (!info) continue;
        Verdict verdict = classifier_(*info, pending.request, pending.time, &store_);
        if (pending.onlyMachine && verdict.eventClass != store::EventClass::kMachine) continue;
        // The next fetch through the same proxy, in this batch or later, is its cache.
        if (pending.type == store::EventType::kImage && verdict.eventClass == store::EventClass::kPerson &&
            std::find(info->openReasons.begin(), info->openReasons.end(), verdict.reason) == info->openReasons.end()) {
          info->openReasons.push_back(verdict.reason);
        }
        auto [found, fresh] =
            alike.try_emplace({pending.stamp, pending.type, verdict.eventClass, pending.request.ip}, events.size());
        if (!fresh && pending.time - events[found->second].time < store::kAlikeWithin) {
          ++events[found->second].count;
          continue;
        }
        found->second = events.size();
        events.push_back(
            store::NewEvent{pending.stamp, pending.type, verdict.eventClass, pending.time, pending.request.ip,
                            store::StoredUserAgent(pending.request.Header("User-Agent")), std::move(verdict.reason)});
      }
      store_.RecordEvents(events);
      metrics_.CountWrittenEvents(events.size());
      return;
    } catch (const std::exception& error) {
      metrics_.CountDatabaseError();
      known_.clear();
      if (attempt == kAttempts) {
        std::cerr << "mailwarden: " << batch.size() << " recipient events not written: " << error.what() << std::endl;
        metrics_.CountDroppedEvents(batch.size());
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100 * attempt));
    }
  }
}

}  // namespace mailwarden::events

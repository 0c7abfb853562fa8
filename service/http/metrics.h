#pragma once
// What /metrics shows, in the Prometheus text format: requests by route and
// status, refusals by reason, a latency histogram per route, the event queue's depth and the
// database errors.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace mailwarden::http {

class Metrics {
 public:
  // label: the route's own path (never the request's), so the set stays small.
  // refused: the refusal's reason as one word, "" for none.
  void CountRequest(const std::string& label, int status, std::chrono::nanoseconds took,
                    const std::string& refused = {});
  void CountDatabaseError() { databaseErrors_.fetch_add(1, std::memory_order_relaxed); }
  void CountDroppedEvents(std::uint64_t count) { droppedEvents_.fetch_add(count, std::memory_order_relaxed); }
  void CountAcceptFailure() { acceptFailures_.fetch_add(1, std::memory_order_relaxed); }
  void CountWrittenEvents(std::uint64_t count) { writtenEvents_.fetch_add(count, std::memory_order_relaxed); }
  void WatchQueue(std::function<std::size_t()> depth);
  // A notice's delivery: channel "mail" or "webhook", outcome "sent", "held"
  // (for a digest, or past the hour's cap), "retry" or "given up".
  void CountNotice(const std::string& channel, const std::string& outcome);
  std::uint64_t DatabaseErrors() const { return databaseErrors_.load(); }

  std::string Render() const;

 private:
  static constexpr std::array<double, 13> kBuckets = {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                      0.1,    0.25,  0.5,    1,     2.5,  5};
  struct Latency {
    std::array<std::uint64_t, kBuckets.size()> below{};
    std::uint64_t count = 0;
    double sum = 0;
  };

  mutable std::mutex mutex_;
  std::map<std::pair<std::string, int>, std::uint64_t> requests_;
  std::map<std::string, Latency> latency_;
  std::map<std::string, std::uint64_t> refused_;
  std::function<std::size_t()> queueDepth_;
  std::map<std::pair<std::string, std::string>, std::uint64_t> notices_;
  std::atomic<std::uint64_t> databaseErrors_{0};
  std::atomic<std::uint64_t> droppedEvents_{0};
  std::atomic<std::uint64_t> writtenEvents_{0};
  std::atomic<std::uint64_t> acceptFailures_{0};
};

}  // namespace mailwarden::http

#pragma once
// Sends what the outbox holds: mail notices through the relay and signed
// POSTs to webhooks. A thread of its own, so a slow relay or receiver never
// holds up the recording of events. Each delivery is leased while it is
// sent, so of several service processes on one database only one sends it;
// a failure is tried again with growing pauses for a day, then given up (a
// webhook that failed so long is paused).
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "service/http/metrics.h"
#include "service/keys/sealing.h"
#include "service/options.h"
#include "service/store/store.h"

namespace mailwarden::notices {

inline constexpr store::Time kRetryFor = 24LL * 3600 * 1000000;

// The pause before the attempt after the given number of failed ones:
// 1 s, 2 s, 4 s, ... at most 15 minutes.
store::Time RetryDelay(int failed);

class OutboxWorker {
 public:
  // sealing: what the webhooks' secrets are sealed with.
  OutboxWorker(store::Store& store, const NoticeOptions& options, const keys::SealingKey& sealing,
               std::function<store::Time()> clock, http::Metrics& metrics);
  ~OutboxWorker();
  OutboxWorker(const OutboxWorker&) = delete;
  OutboxWorker& operator=(const OutboxWorker&) = delete;

  // Looks at the outbox now rather than at the next round.
  void Wake();
  // Sends what is due now, in this thread; how many deliveries it took.
  int RunOnce();

 private:
  void Run();
  void SendMail(std::vector<store::Delivery>& mail, store::Time now);
  void SendWebhook(const store::Delivery& delivery, store::Time now);
  void Failed(const std::vector<store::Delivery>& deliveries, const std::string& error, store::Time now);

  store::Store& store_;
  const NoticeOptions& options_;
  const keys::SealingKey sealing_;
  std::function<store::Time()> clock_;
  http::Metrics& metrics_;
  std::set<std::int64_t> pausedNow_;  // webhooks paused in this round: their other deliveries are gone
  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace mailwarden::notices

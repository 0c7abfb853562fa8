#include "service/http/fair_workers.h"

#include <algorithm>
#include <boost/asio/post.hpp>
#include <utility>

namespace mailwarden::http {

FairWorkers::FairWorkers(int threads, std::size_t perClient)
    : pool_(static_cast<std::size_t>(std::max(1, threads))), perClient_(std::max<std::size_t>(1, perClient)) {}

void FairWorkers::Post(const std::string& client, std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    Client& own = clients_[client];
    if (own.running >= perClient_) {
      own.waiting.push_back(std::move(job));
      return;
    }
    ++own.running;
  }
  boost::asio::post(pool_, [this, client, job = std::move(job)]() mutable { Run(client, std::move(job)); });
}

void FairWorkers::Run(const std::string& client, std::function<void()> job) {
  job();  // jobs catch their own failures
  std::function<void()> next;
  {
    std::lock_guard lock(mutex_);
    Client& own = clients_[client];
    if (own.waiting.empty()) {
      if (--own.running == 0) clients_.erase(client);
      return;
    }
    next = std::move(own.waiting.front());
    own.waiting.pop_front();
  }
  // Behind the jobs other clients posted meanwhile.
  boost::asio::post(pool_, [this, client, next = std::move(next)]() mutable { Run(client, std::move(next)); });
}

}  // namespace mailwarden::http

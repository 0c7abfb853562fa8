#pragma once
// The worker threads, shared out by client: one client never has more than
// its share of them at work, so slow requests sent on many connections from
// one address leave the other workers to everyone else. A client's further
// jobs wait, in order, for one of its own to end.
#include <boost/asio/thread_pool.hpp>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

namespace mailwarden::http {

class FairWorkers {
 public:
  FairWorkers(int threads, std::size_t perClient);
  void Post(const std::string& client, std::function<void()> job);
  // Waits for every job posted, then ends the threads.
  void Join() { pool_.join(); }

 private:
  struct Client {
    std::size_t running = 0;
    std::deque<std::function<void()>> waiting;
  };
  void Run(const std::string& client, std::function<void()> job);

  boost::asio::thread_pool pool_;
  const std::size_t perClient_;
  std::mutex mutex_;
  std::unordered_map<std::string, Client> clients_;
};

}  // namespace mailwarden::http

// How responsive the add-in's thread stays while a whole send waits for a
// service that takes a second to answer each request: another thread posts
// an event into the thread's pump every 5 ms, as window messages arrive, and
// the benchmark reports
//   longest_wait_ms  the longest any posted event waited before it ran during
//                    the send (goal under 100 ms; a blocking request would
//                    hold events for the whole second),
//   wait_cpu_share   the add-in thread's CPU time over the wall time while
//                    the service held its replies (goal under 5%),
//   send_cpu_share   the same over the whole send, work included.
// --sends=N (default 3) and --service-delay-ms=N (default 1000) change the
// number of sends and the service's delay.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/main.h"
#include "protocol/service.h"
#include "started_addin.h"

namespace {

using Clock = std::chrono::steady_clock;
long long gServiceDelayMs = 1000;
long long gSends = 3;
constexpr auto kPostEvery = std::chrono::milliseconds(5);

double Seconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The service on 127.0.0.1, answering every request after a second with a
// valid reply for three recipients, and measuring, over each of those
// seconds, the CPU time the add-in's thread spends meanwhile.
class SlowService {
 public:
  explicit SlowService(pthread_t addinThread) {
    if (pthread_getcpuclockid(addinThread, &addinCpu_) != 0) addinCpu_ = CLOCK_THREAD_CPUTIME_ID;
    server_.Get(corvanta::protocol::kCreditPath, Answer("qo;1000"));
    server_.Get(corvanta::protocol::kStampPath, Answer("qo;s1a s2b s3c"));
    server_.Post(corvanta::protocol::kUploadPath, Answer("qo;g1a g2b g3c"));
    port_ = server_.bind_to_any_port("127.0.0.1");
    serving_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~SlowService() {
    server_.stop();
    serving_.join();
  }

  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
  // CPU and wall seconds of the add-in's thread while replies were held.
  std::pair<double, double> Held() {
    std::lock_guard lock(mutex_);
    return {cpu_, wall_};
  }

 private:
  httplib::Server::Handler Answer(std::string reply) {
    return [this, reply](const httplib::Request&, httplib::Response& response) {
      const double cpuBefore = Seconds(addinCpu_);
      const auto start = Clock::now();
      std::this_thread::sleep_for(std::chrono::milliseconds(gServiceDelayMs));
      const double cpu = Seconds(addinCpu_) - cpuBefore;
      {
        std::lock_guard lock(mutex_);
        cpu_ += cpu;
        wall_ += SecondsSince(start);
      }
      response.set_content(reply, "text/plain");
    };
  }

  httplib::Server server_;
  std::thread serving_;
  int port_ = 0;
  clockid_t addinCpu_{};
  std::mutex mutex_;
  double cpu_ = 0;
  double wall_ = 0;
};

// Posts an event into the pump every few milliseconds and keeps, for the
// events that ran, the longest time one waited.
class EventSource {
 public:
  explicit EventSource(std::shared_ptr<host::sim::EventPump> pump) : pump_(std::move(pump)) {
    thread_ = std::thread([this] {
      while (!stop_) {
        const auto posted = Clock::now();
        pump_->Post([this, posted] {
          const auto waited = std::chrono::duration<double, std::milli>(Clock::now() - posted).count();
          longest_ = std::max(longest_, waited);
          ++ran_;
        });
        std::this_thread::sleep_for(kPostEvery);
      }
    });
  }
  ~EventSource() { Stop(); }

  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // The add-in's thread only.
  double LongestMs() const { return longest_; }
  long Ran() const { return ran_; }

 private:
  std::shared_ptr<host::sim::EventPump> pump_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  double longest_ = 0;
  long ran_ = 0;
};

std::vector<host::sim::SimRecipient> ThreeRecipients() {
  using host::sim::RecipientKind;
  using host::sim::SimRecipient;
  return {SimRecipient::Smtp("Bob", "bob@example.org", RecipientKind::To),
          SimRecipient::Smtp("Cy", "cy@example.org", RecipientKind::Cc),
          SimRecipient::Smtp("Di", "di@example.org", RecipientKind::Bcc)};
}

void BM_SendWhileTheServiceTakesASecond(benchmark::State& state, const std::string& button) {
  SlowService service(pthread_self());
  double longestMs = 0, sendCpu = 0, sendWall = 0;
  long eventsRan = 0;
  {
    bench::StartedAddin started("responsiveness", service.Host());
    host::sim::SimDesktop& desktop = started.desktop();

    for (auto _ : state) {
      auto inspector = started.Compose(ThreeRecipients(), "Hello there.");
      desktop.windowing.ClearRecords();
      desktop.windowing.DoEvents();

      EventSource events(desktop.windowing.Pump());
      const double cpuBefore = Seconds(CLOCK_THREAD_CPUTIME_ID);
      const auto start = Clock::now();
      inspector->ClickTrackingButton(button);
      sendWall += SecondsSince(start);
      sendCpu += Seconds(CLOCK_THREAD_CPUTIME_ID) - cpuBefore;
      events.Stop();
      desktop.windowing.DoEvents();  // what came in during the last steps
      longestMs = std::max(longestMs, events.LongestMs());
      eventsRan += events.Ran();

      if (!desktop.windowing.Messages().empty()) {
        state.SkipWithError(("the send showed: " + desktop.windowing.Messages().front().text).c_str());
        break;
      }
    }
  }

  const auto [heldCpu, heldWall] = service.Held();
  state.counters["longest_wait_ms"] = longestMs;
  state.counters["wait_cpu_share"] = heldWall > 0 ? heldCpu / heldWall : 0;
  state.counters["send_cpu_share"] = sendWall > 0 ? sendCpu / sendWall : 0;
  state.counters["events_run"] = static_cast<double>(eventsRan);
}

}  // namespace

int main(int argc, char** argv) {
  return corvanta::bench::Main(argc, argv, {{"sends", &gSends}, {"service-delay-ms", &gServiceDelayMs}}, [] {
    for (const char* button : {"Automatic", "Guaranteed"}) {
      benchmark::RegisterBenchmark((std::string("BM_SendWhileTheServiceTakesASecond/") + button).c_str(),
                                   BM_SendWhileTheServiceTakesASecond, std::string(button))
          ->Unit(benchmark::kMillisecond)
          ->Iterations(gSends);
    }
  });
}

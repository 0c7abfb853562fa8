// What a send costs the add-in itself per recipient, on the stand-in desktop
// against mailwarden on 127.0.0.1: "Automatic" up to the 40 recipients
// the stamp query has room for, and "Guaranteed" with a message just under
// the upload's size limit. The CPU column is the add-in's thread only, so the
// service's work (its own threads) is left out; the complexity fit gives the
// cost per recipient and shows whether it stays linear. --sends=N (default 10)
// sets the sends timed for each number of recipients.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/main.h"
#include "host/sim/mail_store.h"
#include "service/instance.h"
#include "started_addin.h"

namespace {

using host::sim::SimRecipient;

long long gSends = 10;

// Short addresses: 40 of them with their names still fit the stamp query.
std::vector<SimRecipient> Recipients(int count) {
  std::vector<SimRecipient> recipients;
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(100 + i).substr(1);
    recipients.push_back(SimRecipient::Smtp("R" + n, "r" + n + "@ex.org"));
  }
  return recipients;
}

// The add-in started on a stand-in desktop, talking to an in-process service.
class World {
 public:
  World() : server_(mailwarden::LoopbackOptions(kCredit)) {
    server_.Start();
    started_ = std::make_unique<bench::StartedAddin>("scale", server_.Host());
    Check();
  }

  ~World() {
    started_.reset();
    server_.Stop();
  }

  // Composes a message, opens it and picks a "Tracking" button.
  void Send(const std::string& button, const std::vector<SimRecipient>& recipients, const std::string& body) {
    started_->Compose(recipients, body)->ClickTrackingButton(button);
  }

  // The messages shown since the last call, which are then forgotten with
  // the rest of the screen's records (so memory stays flat).
  std::vector<std::string> TakeShown() {
    std::vector<std::string> shown;
    for (const auto& message : desktop().windowing.Messages()) shown.push_back(message.text);
    desktop().windowing.ClearRecords();
    return shown;
  }

  void Check() {
    const auto shown = TakeShown();
    if (!shown.empty()) throw std::runtime_error("the add-in said: " + shown.front());
  }

  // Empties the folders the sends fill, so every round starts alike.
  void Tidy() {
    // Enough for any round: the credit taken so far plus a whole round's.
    auto account = server_.Store().FindAccount(bench::kSender);
    if (account) {
      int left = server_.Store().CreditLeft(bench::kSender, mailwarden::SystemNow()).value_or(0);
      server_.Store().SetMonthlyCredit(bench::kSender, account->monthlyCredit - left + kCredit);
    }
    for (const char* folder : {host::sim::MailStore::kOutbox, host::sim::MailStore::kSentItems})
      for (const auto& stored : desktop().store->InFolder(folder)) std::filesystem::remove(stored.path);
  }

 private:
  host::sim::SimDesktop& desktop() { return started_->desktop(); }

  static constexpr int kCredit = 1000000;
  mailwarden::Instance server_;
  std::unique_ptr<bench::StartedAddin> started_;
};

World& Shared() {
  static World world;
  return world;
}

void Measure(benchmark::State& state, const std::string& button, const std::string& body) {
  World& world = Shared();
  const auto recipients = Recipients(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    world.Send(button, recipients, body);
    state.PauseTiming();
    try {
      world.Check();
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      break;
    }
    world.Tidy();
    state.ResumeTiming();
  }
  state.SetComplexityN(state.range(0));
  state.counters["recipients"] = static_cast<double>(state.range(0));
}

void BM_AutomaticSend(benchmark::State& state) {
  Measure(state, "Automatic", "Hello there. The figures are attached below.\r\n");
}

// The plain text that makes the upload's body just under the size limit for
// this many recipients: one oversized send tells the body's length in the
// add-in's own "too big" message, and letters escape to one character each.
std::string JustUnderTheLimit(int recipients) {
  constexpr std::size_t kProbe = 25000;
  constexpr std::size_t kLimit = 20000;
  constexpr std::size_t kMargin = 10;
  World& world = Shared();
  world.Send("Guaranteed", Recipients(recipients), std::string(kProbe, 'x'));
  const auto shown = world.TakeShown();
  const std::string prefix = "The email is too big. (";
  if (shown.size() != 1 || shown[0].rfind(prefix, 0) != 0)
    throw std::runtime_error("no size message for the probe: " + (shown.empty() ? std::string() : shown[0]));
  const std::size_t bodyLength = std::stoul(shown[0].substr(prefix.size()));
  const std::size_t overhead = bodyLength - kProbe;
  return std::string(kLimit - kMargin - overhead, 'x');
}

void BM_GuaranteedSendNearSizeLimit(benchmark::State& state) {
  const std::string body = JustUnderTheLimit(static_cast<int>(state.range(0)));
  state.counters["content_chars"] = static_cast<double>(body.size());
  Measure(state, "Guaranteed", body);
}

// 1 to 40 recipients, the most the stamp query has room for.
void UpToFortyRecipients(benchmark::internal::Benchmark* benchmark) {
  for (const int count : {1, 5, 10, 20, 40}) benchmark->Arg(count);
  benchmark->Unit(benchmark::kMillisecond)->Iterations(gSends)->Complexity(benchmark::oN);
}

}  // namespace

int main(int argc, char** argv) {
  return corvanta::bench::Main(argc, argv, {{"sends", &gSends}}, [] {
    benchmark::RegisterBenchmark("BM_AutomaticSend", BM_AutomaticSend)->Apply(UpToFortyRecipients);
    benchmark::RegisterBenchmark("BM_GuaranteedSendNearSizeLimit", BM_GuaranteedSendNearSizeLimit)
        ->Apply(UpToFortyRecipients);
  });
}

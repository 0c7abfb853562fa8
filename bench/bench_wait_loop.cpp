// What waiting for a slow upload costs the add-in's thread: the progress
// dialog's wait should sleep, so its CPU time stays a small part of the
// wall-clock time the server takes to answer.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "host/sim/desktop.h"
#include "sending/dlg_progress.h"

namespace {

constexpr auto kServerDelay = std::chrono::milliseconds(200);

void BM_WaitLoopOnSlowServer(benchmark::State& state) {
  httplib::Server server;
  server.Post("/slow", [](const httplib::Request&, httplib::Response& response) {
    std::this_thread::sleep_for(kServerDelay);
    response.set_content("qo;done", "text/plain");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  const auto store = std::filesystem::temp_directory_path() / "corvanta-bench-wait";
  {
    host::sim::SimDesktop desktop(store, "9.0");
    corvanta::dlgProgress dialog(desktop.platform);
    dialog.Show();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/slow";
    for (auto _ : state) {
      dialog.Inet1().Execute(url, "POST", "fromAddy=a", "Content-Type: application/x-www-form-urlencoded");
      dialog.WaitLoop();
      benchmark::DoNotOptimize(dialog.sInetSays);
    }
    dialog.CloseMe();
  }
  server.stop();
  serving.join();
  std::filesystem::remove_all(store);
}
// Real time is the server's delay; the CPU column is what the wait itself costs.
BENCHMARK(BM_WaitLoopOnSlowServer)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();

// The in-process half of bench/compare.sh.
//   compare_tool generate FILE BYTES   writes the sample text
//   compare_tool languages FILE BYTES  writes a text of Greek and Japanese words
//   compare_tool time FILE RUNS        best-of-RUNS seconds for WordWrap at 76,
//                                      `fold -s -w 76 FILE >/dev/null` (as a
//                                      process), UrlEscape and curl_easy_escape
//   compare_tool linearity FILE        64 MB time over 1 MB time, per routine
//                                      (1 MB cold, then 1 MB in the cache)
// The text is read into memory first; outputs are produced whole and dropped.
// Times are CPU seconds (user and system) of the work itself, so that other
// programs sharing the machine do not count; wall-clock seconds are shown too.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/sample_text.h"
#include "host/sim/services.h"
#include "protocol/encoding.h"
#include "text/word_wrap.h"

namespace {

struct Seconds {
  double cpu = 1e300;
  double wall = 1e300;
};

double CpuNow() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double WallNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Seconds BestOf(int runs, const std::function<void()>& work) {
  Seconds best;
  for (int run = 0; run < runs; ++run) {
    const double cpu = CpuNow(), wall = WallNow();
    work();
    best.cpu = std::min(best.cpu, CpuNow() - cpu);
    best.wall = std::min(best.wall, WallNow() - wall);
  }
  return best;
}

// `fold -s -w 76 file` with its output to /dev/null; its own CPU time.
Seconds FoldOnce(const std::string& path) {
  const double wall = WallNow();
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0) _exit(126);
    execlp("fold", "fold", "-s", "-w", "76", path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("fold failed");
  }
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return {seconds(usage.ru_utime) + seconds(usage.ru_stime), WallNow() - wall};
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WordWrap(const std::string& text) {
  std::string wrapped = corvanta::modWordWrap::WordWrap(text, 76);
  benchmark::DoNotOptimize(wrapped.data());
}

// The add-in's escaping: UTF-8 text through the system code page (1252).
host::sim::SimCodePage& CodePage() {
  static host::sim::SimCodePage page;
  return page;
}

void UrlEscape(const std::string& text) {
  std::string escaped = corvanta::protocol::UrlEscape(text, CodePage());
  benchmark::DoNotOptimize(escaped.data());
}

void S256to62(const std::string& text) {
  std::string encoded = corvanta::protocol::s256to62(text, CodePage());
  benchmark::DoNotOptimize(encoded.data());
}

void MakeHash(const std::string& text) {
  std::string hash = corvanta::protocol::MakeHash(corvanta::protocol::CharCodes(text, CodePage()),
                                                  corvanta::protocol::HashDraws{17, 61, 40, 22});
  benchmark::DoNotOptimize(hash.data());
}

int Time(const std::string& path, int runs) {
  const std::string text = ReadAll(path);
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURL* curl = curl_easy_init();
  if (!curl) throw std::runtime_error("curl_easy_init failed");
  const Seconds wrap = BestOf(runs, [&] { WordWrap(text); });
  Seconds fold;
  for (int run = 0; run < runs; ++run) {
    const Seconds once = FoldOnce(path);
    fold.cpu = std::min(fold.cpu, once.cpu);
    fold.wall = std::min(fold.wall, once.wall);
  }
  const Seconds escape = BestOf(runs, [&] { UrlEscape(text); });
  // curl refuses inputs beyond a few megabytes, so it escapes the text a
  // megabyte at a time into one output, as ours produces one string.
  const Seconds curlEscape = BestOf(runs, [&] {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    constexpr std::size_t kPiece = 1 << 20;
    for (std::size_t at = 0; at < text.size(); at += kPiece) {
      const std::size_t length = std::min(kPiece, text.size() - at);
      char* escaped = curl_easy_escape(curl, text.data() + at, static_cast<int>(length));
      if (!escaped) throw std::runtime_error("curl_easy_escape failed");
      out += escaped;
      curl_free(escaped);
    }
    benchmark::DoNotOptimize(out.data());
  });
  curl_easy_cleanup(curl);
  curl_global_cleanup();
  const std::pair<const char*, Seconds> results[] = {
      {"wordwrap", wrap}, {"fold", fold}, {"urlescape", escape}, {"curl_escape", curlEscape}};
  for (const auto& [name, seconds] : results) std::printf("%s %.6f %.6f\n", name, seconds.cpu, seconds.wall);
  return 0;
}

// Prints, per routine, the 64 MB time over the 1 MB time twice: first with
// the 1 MB time taken on each megabyte of the same text once (cold, as the
// 64 MB run finds its memory), then on one megabyte again and again (in the
// cache). The first is the one that judges the growth of the cost.
int Linearity(const std::string& path) {
  // Outputs of a megabyte and up come fresh from the system, as those of 64 MB
  // always do; otherwise the allocator would hand the small runs memory that is
  // already mapped and the comparison would weigh page faults, not the routines.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  const std::string whole = ReadAll(path);
  constexpr std::size_t kMegabyte = 1 << 20;
  std::vector<std::string> slices;
  for (std::size_t at = 0; at + kMegabyte <= whole.size(); at += kMegabyte)
    slices.push_back(whole.substr(at, kMegabyte));
  if (slices.empty()) throw std::runtime_error("the text is shorter than a megabyte");
  const std::pair<const char*, void (*)(const std::string&)> routines[] = {
      {"wordwrap", WordWrap}, {"urlescape", UrlEscape}, {"s256to62", S256to62}, {"makehash", MakeHash}};
  for (const auto& [name, routine] : routines) {
    const double coldTime = BestOf(3,
                                   [&] {
                                     for (const std::string& slice : slices) routine(slice);
                                   })
                                .cpu /
                            static_cast<double>(slices.size());
    const double hotTime = BestOf(30, [&] { routine(slices.front()); }).cpu;
    const double wholeTime = BestOf(3, [&] { routine(whole); }).cpu;
    std::printf("%s %.2f %.2f\n", name, wholeTime / coldTime, wholeTime / hotTime);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "generate" && argc == 4) {
      const std::string text = corvanta::bench::SampleText(std::strtoull(argv[3], nullptr, 10));
      std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
      out << text;
      return out ? 0 : 1;
    }
    if (mode == "languages" && argc == 4) {
      const std::string text = corvanta::bench::LanguagesText(std::strtoull(argv[3], nullptr, 10));
      std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
      out << text;
      return out ? 0 : 1;
    }
    if (mode == "time" && argc == 4) return Time(argv[2], std::max(1, std::atoi(argv[3])));
    if (mode == "linearity" && argc == 3) return Linearity(argv[2]);
    std::cerr << "usage: compare_tool generate FILE BYTES | languages FILE BYTES | time FILE RUNS | linearity FILE\n";
    return 2;
  } catch (const std::exception& error) {
    std::cerr << "compare_tool: " << error.what() << "\n";
    return 1;
  }
}

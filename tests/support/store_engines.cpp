#include "support/store_engines.h"

#include <unistd.h>

#include <filesystem>

#include "support/postgres_server.h"

namespace testsupport {
namespace {

std::string SqliteFile() {
  return (std::filesystem::temp_directory_path() / ("mailwarden-store-test-" + std::to_string(::getpid()) + ".db"))
      .string();
}

}  // namespace

// The PostgreSQL database is on the test run's throw-away server, started
// only when a test empties it first.
std::vector<std::string> StoreEngineUrls() {
  return {"sqlite::memory:", "sqlite:" + SqliteFile(), SharedPostgresUrl()};
}

void EmptyDatabase(const std::string& url) {
  if (url.starts_with("sqlite:") && url != "sqlite::memory:") {
    for (const char* end : {"", "-wal", "-shm"}) std::filesystem::remove(url.substr(7) + end);
  }
  if (url.starts_with("postgres")) EmptyPostgresDatabase(url);
}

std::string EngineName(const std::string& url) {
  if (url == "sqlite::memory:") return "sqlite_memory";
  if (url.starts_with("sqlite:")) return "sqlite_file";
  if (url.starts_with("postgres")) return "postgresql";
  return "other";
}

}  // namespace testsupport

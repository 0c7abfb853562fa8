#pragma once
// A throw-away PostgreSQL server for tests: Debian's initdb and pg_ctl into a
// temporary folder, run as the `postgres` user when the tests run as root,
// listening only on a Unix socket in that folder (no TCP at all), fsync off.
// Each test takes a fresh database of its own, so tests never see each other.
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

class PostgresServer {
 public:
  // initdb and start in a new folder under /tmp; throws std::runtime_error
  // with the server's log when it cannot.
  PostgresServer();
  // start: initdb and start in folder, an empty folder MakeFolder made.
  // Otherwise attaches to a server another process started there: the
  // destructor leaves it running and drops only the databases made here.
  PostgresServer(std::string folder, bool start);
  // Stops a server it started and removes its folder.
  ~PostgresServer();

  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  // The folder holding the data, the socket and the log.
  const std::string& Folder() const { return folder_; }

  // A libpq connection string ("postgresql:///NAME?host=...") for a database.
  std::string Url(const std::string& database) const;
  // Creates a new empty database with a name no other test process uses and
  // returns its connection string; it is dropped when this object goes.
  std::string NewDatabase();
  // Makes the database empty (created when there is none), dropped as above.
  void EmptyDatabase(const std::string& database);

  // Runs one SQL statement as the superuser in the given database; the
  // first row's first column, or empty.
  std::string Query(const std::string& database, const std::string& sql) const;

  // Leaves a server it started running past this object (for the test
  // run's shared server, stopped later with StopIn).
  void KeepRunning();
  // Stops a server another PostgresServer started in folder, removing it.
  static void StopIn(const std::string& folder);
  // A new empty folder for a server, for the server's user.
  static std::string MakeFolder();

 private:
  std::string folder_;
  bool owned_ = false;
  int watcher_ = -1;  // the process that stops a server it started if this process dies first
  std::mutex mutex_;
  std::vector<std::string> databases_;
};

// The one server of this test process, started on first use. When the test
// run started one for all its tests (CORVANTA_TEST_POSTGRES names a file
// holding its folder), that one is used instead.
PostgresServer& SharedPostgres();

// The connection string of this process's store test database on the shared
// server, known before the server starts (a test parameter); starts nothing.
std::string SharedPostgresUrl();
// Starts the shared server when needed and empties the database of a
// connection string SharedPostgresUrl gave.
void EmptyPostgresDatabase(const std::string& url);
// The database a connection string of this file names.
std::string DatabaseOf(const std::string& url);

}  // namespace testsupport

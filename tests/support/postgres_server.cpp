#include "support/postgres_server.h"

#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testsupport {
namespace {

namespace fs = std::filesystem;

// Debian's own binaries by full path: a pg_ctl elsewhere on PATH may be
// another program, or another major version than the library's.
constexpr const char* kBin = "/usr/lib/postgresql/15/bin/";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The server refuses to run as root: tests running as root hand it to the
// `postgres` user; anyone else runs it as themselves.
const passwd* ServerUser() {
  if (geteuid() != 0) return nullptr;
  const passwd* user = getpwnam("postgres");
  if (!user) throw std::runtime_error("tests run as root, but there is no `postgres` user to run PostgreSQL");
  return user;
}

// Runs a program as the server's user with its output appended to log;
// its exit status, or -1 when it could not run.
int Run(const std::vector<std::string>& args, const fs::path& log) {
  const passwd* user = ServerUser();
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    int in = open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    if (user &&
        (initgroups(user->pw_name, user->pw_gid) != 0 || setgid(user->pw_gid) != 0 || setuid(user->pw_uid) != 0)) {
      _exit(126);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

// A test that crashes or is killed must not leave its server running: a
// shell in a session of its own waits for this process's end (its pipe
// closing) and then stops the server and removes the folder. Its pid.
int StartWatcher(const std::string& folder) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  const std::string stop = std::string(kBin) + "pg_ctl -D \"$1/data\" -m immediate -w stop";
  const std::string script = "cat >/dev/null; " +
                             (ServerUser() ? "setpriv --reuid=postgres --regid=postgres --init-groups " + stop : stop) +
                             "; rm -rf \"$1\"";
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    int null = open("/dev/null", O_WRONLY);
    dup2(fds[0], 0);
    dup2(null, 1);
    dup2(null, 2);
    execl("/bin/sh", "sh", "-c", script.c_str(), "sh", folder.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[0]);
  // The write end stays open, unseen by programs this process starts, until it ends.
  return pid < 0 ? -1 : pid;
}

}  // namespace

std::string PostgresServer::MakeFolder() {
  char name[] = "/tmp/corvanta-pg-XXXXXX";  // short: a socket path has a limit of about 100 bytes
  if (!mkdtemp(name)) throw std::runtime_error("cannot make a folder for PostgreSQL");
  if (const passwd* user = ServerUser()) {
    if (chown(name, user->pw_uid, user->pw_gid) != 0) {
      fs::remove_all(name);
      throw std::runtime_error(std::string("cannot hand ") + name + " to the postgres user");
    }
  }
  return name;
}

PostgresServer::PostgresServer() : PostgresServer(MakeFolder(), true) {}

PostgresServer::PostgresServer(std::string folderPath, bool start) : folder_(std::move(folderPath)), owned_(start) {
  if (!start) return;
  watcher_ = StartWatcher(folder_);
  const fs::path folder(folder_);
  const fs::path log = folder / "log";
  const std::string data = (folder / "data").string();
  bool ready = Run({std::string(kBin) + "initdb", "-D", data, "-U", "postgres", "--auth=trust", "--no-sync", "-E",
                    "UTF8", "--locale=C"},
                   log) == 0;
  if (ready) {
    std::ofstream conf(folder / "data" / "postgresql.conf", std::ios::app);
    conf << "listen_addresses = ''\n"
         << "unix_socket_directories = '" << folder_ << "'\n"
         << "port = 5432\n"
         << "max_connections = 300\n"
         << "shared_buffers = 64MB\n"
         << "fsync = off\nsynchronous_commit = off\nfull_page_writes = off\n";
    conf.close();
    ready = conf.good() && Run({std::string(kBin) + "pg_ctl", "-D", data, "-l", (folder / "server.log").string(), "-w",
                                "-t", "60", "start"},
                               log) == 0;
  }
  if (!ready) {
    std::string what =
        "PostgreSQL did not start in " + folder_ + ":\n" + ReadFile(log) + ReadFile(folder / "server.log");
    StopIn(folder_);
    throw std::runtime_error(what);
  }
}

void PostgresServer::KeepRunning() {
  owned_ = false;
  if (watcher_ > 0) {
    kill(watcher_, SIGKILL);
    waitpid(watcher_, nullptr, 0);
  }
  watcher_ = -1;
}

PostgresServer::~PostgresServer() {
  if (owned_) {
    StopIn(folder_);
    return;
  }
  for (const auto& database : databases_) {
    try {
      Query("postgres", "DROP DATABASE IF EXISTS " + Quoted(database) + " WITH (FORCE)");
    } catch (const std::exception&) {
      // The run's server is removed as a whole at its end.
    }
  }
}

void PostgresServer::StopIn(const std::string& folder) {
  // Only ever a folder this class made.
  if (folder.rfind("/tmp/corvanta-pg-", 0) != 0 || folder.find("..") != std::string::npos) return;
  const fs::path path(folder);
  if (fs::exists(path / "data" / "postmaster.pid")) {
    Run({std::string(kBin) + "pg_ctl", "-D", (path / "data").string(), "-m", "immediate", "-w", "stop"}, path / "log");
  }
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

std::string PostgresServer::Url(const std::string& database) const {
  return "postgresql:///" + database + "?host=" + folder_ + "&user=postgres";
}

std::string PostgresServer::NewDatabase() {
  static std::atomic<int> counter{0};
  std::random_device random;
  // Appended, not added up: GCC 12 warns wrongly about chains of string additions at -O3.
  std::string name = "t";
  for (auto part : {static_cast<unsigned>(getpid()), static_cast<unsigned>(++counter), random() % 100000}) {
    name.append(std::to_string(part)).append("_");
  }
  name.pop_back();
  EmptyDatabase(name);
  return Url(name);
}

void PostgresServer::EmptyDatabase(const std::string& database) {
  {
    std::lock_guard lock(mutex_);
    if (std::find(databases_.begin(), databases_.end(), database) == databases_.end()) {
      databases_.push_back(database);
    }
  }
  Query("postgres", "DROP DATABASE IF EXISTS " + Quoted(database) + " WITH (FORCE)");
  Query("postgres", "CREATE DATABASE " + Quoted(database));
}

// Plain libpq: it also runs from the shared server's destructor at exit, when
// a C++ library's own statics may be gone.
std::string PostgresServer::Query(const std::string& database, const std::string& sql) const {
  PGconn* connection = PQconnectdb(Url(database).c_str());
  std::string failure;
  std::string value;
  PQsetNoticeProcessor(
      connection, [](void*, const char*) {}, nullptr);  // "does not exist, skipping"
  if (PQstatus(connection) != CONNECTION_OK) {
    failure = PQerrorMessage(connection);
  } else {
    PGresult* result = PQexec(connection, sql.c_str());
    const auto status = PQresultStatus(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      failure = PQresultErrorMessage(result);
    } else if (PQntuples(result) > 0 && PQnfields(result) > 0 && !PQgetisnull(result, 0, 0)) {
      value = PQgetvalue(result, 0, 0);
    }
    PQclear(result);
  }
  PQfinish(connection);
  if (!failure.empty()) throw std::runtime_error(sql + ": " + failure);
  return value;
}

namespace {

// The shared server's folder is chosen before the server starts, so test
// parameters can name it; a folder never used is removed at exit.
class Shared {
 public:
  Shared() {
    const char* file = std::getenv("CORVANTA_TEST_POSTGRES");
    std::string folder = file && *file ? ReadFile(file) : std::string();
    while (!folder.empty() && std::isspace(static_cast<unsigned char>(folder.back()))) folder.pop_back();
    attached_ = !folder.empty() && fs::exists(fs::path(folder) / "data" / "postmaster.pid");
    folder_ = attached_ ? folder : PostgresServer::MakeFolder();
  }
  ~Shared() {
    server_.reset();
    if (!attached_) PostgresServer::StopIn(folder_);
  }

  const std::string& Folder() const { return folder_; }

  PostgresServer& Server() {
    std::lock_guard lock(mutex_);
    if (!server_) server_ = std::make_unique<PostgresServer>(folder_, !attached_);
    return *server_;
  }

 private:
  std::string folder_;
  bool attached_ = false;
  std::mutex mutex_;
  std::unique_ptr<PostgresServer> server_;
};

Shared& TheShared() {
  static Shared shared;
  return shared;
}

}  // namespace

PostgresServer& SharedPostgres() {
  return TheShared().Server();
}

std::string SharedPostgresUrl() {
  return "postgresql:///store_" + std::to_string(getpid()) + "?host=" + TheShared().Folder() + "&user=postgres";
}

void EmptyPostgresDatabase(const std::string& url) {
  SharedPostgres().EmptyDatabase(DatabaseOf(url));
}

std::string DatabaseOf(const std::string& url) {
  const auto start = url.find(":///") + 4;
  return url.substr(start, url.find('?') - start);
}

}  // namespace testsupport

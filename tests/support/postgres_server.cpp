#include "support/postgres_server.h"

#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

}  // namespace

PostgresServer::PostgresServer() : owned_(true) {
  char name[] = "/tmp/corvanta-pg-XXXXXX";  // short: a socket path has a limit of about 100 bytes
  if (!mkdtemp(name)) throw std::runtime_error("cannot make a folder for PostgreSQL");
  folder_ = name;
  if (const passwd* user = ServerUser()) {
    if (chown(name, user->pw_uid, user->pw_gid) != 0) {
      fs::remove_all(folder_);
      throw std::runtime_error("cannot hand " + folder_ + " to the postgres user");
    }
  }
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

PostgresServer::PostgresServer(std::string folder) : folder_(std::move(folder)) {}

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
  std::string name =
      "t" + std::to_string(getpid()) + "_" + std::to_string(++counter) + "_" + std::to_string(random() % 100000);
  Query("postgres", "CREATE DATABASE " + Quoted(name));
  std::lock_guard lock(mutex_);
  databases_.push_back(name);
  return Url(name);
}

// Plain libpq: it also runs from the shared server's destructor at exit, when
// a C++ library's own statics may be gone.
std::string PostgresServer::Query(const std::string& database, const std::string& sql) const {
  PGconn* connection = PQconnectdb(Url(database).c_str());
  std::string failure;
  std::string value;
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

PostgresServer& SharedPostgres() {
  static PostgresServer server = [] {
    const char* file = std::getenv("CORVANTA_TEST_POSTGRES");
    std::string folder = file && *file ? ReadFile(file) : std::string();
    while (!folder.empty() && std::isspace(static_cast<unsigned char>(folder.back()))) folder.pop_back();
    return !folder.empty() && fs::exists(fs::path(folder) / "data" / "postmaster.pid") ? PostgresServer(folder)
                                                                                       : PostgresServer();
  }();
  return server;
}

}  // namespace testsupport

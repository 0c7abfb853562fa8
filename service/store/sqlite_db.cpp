#include "service/store/sqlite_db.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "service/store/store.h"

namespace mailwarden::store::sqlite {

namespace {

bool InMemory(const std::string& path) {
  return path.empty() || path == ":memory:" || path.starts_with("file::memory:");
}

// The file, and its folders where missing, made private before SQLite opens
// it: SQLite would make it with the umask's mode, 0644 for root.
void MakePrivateFile(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::exists(path, error)) return;
  fs::path folder = fs::path(path).parent_path();
  std::vector<fs::path> missing;
  for (fs::path f = folder; !f.empty() && !fs::exists(f, error); f = f.parent_path()) {
    missing.push_back(f);
    if (f == f.parent_path()) break;
  }
  for (auto f = missing.rbegin(); f != missing.rend(); ++f) {
    if (::mkdir(f->c_str(), 0700) != 0 && errno != EEXIST) {
      throw StoreError("cannot make the folder " + f->string() + " for the database " + path + ": " +
                       std::strerror(errno));
    }
  }
  int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0 && errno != EEXIST) {
    throw StoreError("cannot make the database " + path + ": " + std::strerror(errno) + " (in the folder " +
                     (folder.empty() ? std::string(".") : folder.string()) + ")");
  }
  if (fd >= 0) ::close(fd);
}

}  // namespace

std::string ExplainOpenFailure(const std::string& path, const std::string& what) {
  if (InMemory(path)) return what;
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (folder.empty()) folder = ".";
  if (what.find("not a database") != std::string::npos) return path + " is not an SQLite database";
  if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), R_OK | W_OK) != 0) {
    return "the database " + path + " cannot be read and written by this user";
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    return "the folder " + folder + " of the database " + path +
           " is not writable by this user (SQLite keeps its write-ahead log and lock files beside the database)";
  }
  if (what.find(path) != std::string::npos) return what;
  return "the database " + path + ": " + what;
}

Connection::Connection(const std::string& path, bool create) {
  if (create && !InMemory(path)) MakePrivateFile(path);
  int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    std::string reason = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    if (!create && !InMemory(path) && !std::filesystem::exists(path)) throw StoreError("there is no database " + path);
    throw StoreError(ExplainOpenFailure(path, "cannot open the database " + path + ": " + reason));
  }
  sqlite3_extended_result_codes(db_, 1);
  // Another process (an administrator's command) may hold the write lock briefly.
  sqlite3_busy_timeout(db_, 10000);
}

Connection::~Connection() {
  for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
  sqlite3_close(db_);
}

void Connection::Exec(std::string_view sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string reason = error ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    throw StoreError("database: " + reason);
  }
}

std::int64_t Connection::LastInsertId() const {
  return sqlite3_last_insert_rowid(db_);
}

int Connection::Changes() const {
  return sqlite3_changes(db_);
}

int Connection::LastError() const {
  return sqlite3_extended_errcode(db_);
}

void Connection::Fail(std::string_view what) const {
  throw StoreError(std::string("database: ") + std::string(what) + ": " + sqlite3_errmsg(db_));
}

sqlite3_stmt* Connection::Prepared(std::string_view sql) {
  auto found = statements_.find(std::string(sql));
  if (found != statements_.end()) return found->second;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &statement,
                         nullptr) != SQLITE_OK) {
    Fail("cannot prepare a statement");
  }
  statements_.emplace(std::string(sql), statement);
  return statement;
}

Query::Query(Connection& connection, std::string_view sql)
    : connection_(connection), statement_(connection.Prepared(sql)) {}

Query::~Query() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

Query& Query::Bind(int index, std::int64_t value) {
  if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK) connection_.Fail("bind");
  return *this;
}

Query& Query::Bind(int index, std::string_view value) {
  if (sqlite3_bind_text64(statement_, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK) {
    connection_.Fail("bind");
  }
  return *this;
}

Query& Query::BindNull(int index) {
  if (sqlite3_bind_null(statement_, index) != SQLITE_OK) connection_.Fail("bind");
  return *this;
}

bool Query::Step() {
  int result = sqlite3_step(statement_);
  if (result == SQLITE_ROW) return true;
  if (result == SQLITE_DONE) return false;
  connection_.Fail("statement failed");
}

void Query::Run() {
  while (Step()) {
  }
}

std::int64_t Query::Int(int column) const {
  return sqlite3_column_int64(statement_, column);
}

std::string Query::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))) : std::string();
}

bool Query::IsNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

}  // namespace mailwarden::store::sqlite

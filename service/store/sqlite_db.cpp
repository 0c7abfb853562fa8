#include "service/store/sqlite_db.h"

#include <sqlite3.h>

#include "service/store/store.h"

namespace mailwarden::store::sqlite {

Connection::Connection(const std::string& path) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    std::string reason = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw StoreError("cannot open the database " + path + ": " + reason);
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

#pragma once
// A thin layer over the SQLite C library: a connection that keeps its
// prepared statements, and a statement lease that resets them after use.
// Every failure throws store::StoreError with SQLite's own text.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace mailwarden::store::sqlite {

class Connection;

// One use of a prepared statement: bind, step, read columns; reset when done.
class Query {
 public:
  Query(Connection& connection, std::string_view sql);
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& Bind(int index, std::int64_t value);
  Query& Bind(int index, std::string_view value);
  Query& BindNull(int index);
  // True while there is a row to read.
  bool Step();
  // Runs a statement that returns no row.
  void Run();

  std::int64_t Int(int column) const;
  std::string Text(int column) const;
  bool IsNull(int column) const;

 private:
  Connection& connection_;
  sqlite3_stmt* statement_;
};

class Connection {
 public:
  // path as sqlite3_open_v2 takes it (":memory:" included). With create, a
  // missing file is made with mode 0600 (its missing folder with 0700: it
  // holds password hashes and certified mail); without, it is an error.
  explicit Connection(const std::string& path, bool create = true);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs one or more statements without results.
  void Exec(std::string_view sql);
  std::int64_t LastInsertId() const;
  int Changes() const;
  // SQLite's extended error code of the last failure (SQLITE_CONSTRAINT_UNIQUE, ...).
  int LastError() const;
  [[noreturn]] void Fail(std::string_view what) const;
  sqlite3* Handle() const { return db_; }

 private:
  friend class Query;
  sqlite3_stmt* Prepared(std::string_view sql);

  sqlite3* db_ = nullptr;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

// A failure to open or set up the database at path, said with its real
// cause: a folder the log cannot be made in, a read-only file, a file that
// is no database.
std::string ExplainOpenFailure(const std::string& path, const std::string& what);

// Runs body inside BEGIN (IMMEDIATE when writing) and COMMIT; rolls back and
// rethrows when body throws.
template <class Body>
auto InTransaction(Connection& connection, bool writing, Body&& body) {
  connection.Exec(writing ? "BEGIN IMMEDIATE" : "BEGIN");
  try {
    if constexpr (std::is_void_v<decltype(body())>) {
      body();
      connection.Exec("COMMIT");
    } else {
      auto result = body();
      connection.Exec("COMMIT");
      return result;
    }
  } catch (...) {
    try {
      connection.Exec("ROLLBACK");
    } catch (...) {
    }
    throw;
  }
}

}  // namespace mailwarden::store::sqlite

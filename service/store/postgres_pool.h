#pragma once
// Connections to one PostgreSQL database, shared by many threads. Each call
// takes a connection for one transaction and gives it back; a connection
// found broken is dropped with every idle one (a restarted server has
// broken them all), and the next call connects anew.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <pqxx/pqxx>
#include <string>
#include <vector>

namespace mailwarden::store {

class PostgresPool {
 public:
  // What a pool's connections commit: kRelaxed ones, for what need not be
  // durable (recipient events, attempt counts, a session's last use), do
  // not wait for the disk: a crash of the database server may lose its last
  // moments of them, never a stamp, an upload or a cancellation.
  enum class Durability { kDurable, kRelaxed };
  // prepare runs once on every new connection (the prepared statements).
  PostgresPool(std::string url, int size, Durability durability, std::function<void(pqxx::connection&)> prepare);

  // Runs body in one READ COMMITTED transaction and commits it; kStatement
  // runs a body of one statement on its own (no BEGIN and COMMIT to wait
  // for). A serialization failure or deadlock runs it again (body must not
  // keep anything of a failed run); every database failure becomes
  // StoreError.
  enum class Mode { kTransaction, kStatement };
  void Transact(const std::function<void(pqxx::transaction_base&)>& body, Mode mode = Mode::kTransaction);

  // Opens one connection outside the pool (for the migrations).
  std::unique_ptr<pqxx::connection> Connect() const;

 private:
  std::unique_ptr<pqxx::connection> Take();
  void Give(std::unique_ptr<pqxx::connection> connection, bool broken);

  const std::string url_;
  const int size_;
  const Durability durability_;
  const std::function<void(pqxx::connection&)> prepare_;
  std::mutex mutex_;
  std::condition_variable released_;
  std::vector<std::unique_ptr<pqxx::connection>> idle_;
  int open_ = 0;  // idle and taken
};

}  // namespace mailwarden::store

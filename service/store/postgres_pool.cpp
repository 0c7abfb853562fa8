#include "service/store/postgres_pool.h"

#include "service/store/store.h"

namespace mailwarden::store {
namespace {

// A serialization failure or deadlock is another transaction's fault: run
// again a few times before giving up.
constexpr int kAttempts = 5;

}  // namespace

PostgresPool::PostgresPool(std::string url, int size, Durability durability,
                           std::function<void(pqxx::connection&)> prepare)
    : url_(std::move(url)), size_(size), durability_(durability), prepare_(std::move(prepare)) {}

std::unique_ptr<pqxx::connection> PostgresPool::Connect() const {
  try {
    auto connection = std::make_unique<pqxx::connection>(url_);
    connection->set_client_encoding("UTF8");
    return connection;
  } catch (const pqxx::failure& e) {
    throw StoreError(std::string("cannot connect to the database: ") + e.what());
  }
}

std::unique_ptr<pqxx::connection> PostgresPool::Take() {
  {
    std::unique_lock lock(mutex_);
    released_.wait(lock, [&] { return !idle_.empty() || open_ < size_; });
    if (!idle_.empty()) {
      auto connection = std::move(idle_.back());
      idle_.pop_back();
      return connection;
    }
    ++open_;
  }
  try {
    auto connection = Connect();
    if (durability_ == Durability::kRelaxed) {
      pqxx::nontransaction(*connection).exec("SET synchronous_commit = off");
    }
    if (prepare_) prepare_(*connection);
    return connection;
  } catch (const pqxx::failure& e) {
    Give(nullptr, true);
    throw StoreError(std::string("database: ") + e.what());
  } catch (...) {
    Give(nullptr, true);
    throw;
  }
}

void PostgresPool::Give(std::unique_ptr<pqxx::connection> connection, bool broken) {
  std::vector<std::unique_ptr<pqxx::connection>> dropped;  // closed outside the lock
  {
    std::lock_guard lock(mutex_);
    if (!broken && connection && connection->is_open()) {
      idle_.push_back(std::move(connection));
    } else {
      --open_;
      dropped = std::move(idle_);
      idle_.clear();
      open_ -= static_cast<int>(dropped.size());
    }
  }
  released_.notify_all();
}

void PostgresPool::Transact(const std::function<void(pqxx::transaction_base&)>& body, Mode mode) {
  for (int attempt = 1;; ++attempt) {
    auto connection = Take();
    bool broken = false;
    bool again = false;
    std::string failure;
    try {
      std::unique_ptr<pqxx::transaction_base> work;
      if (mode == Mode::kStatement) {
        work = std::make_unique<pqxx::nontransaction>(*connection);
      } else {
        work = std::make_unique<pqxx::work>(*connection);
      }
      body(*work);
      work->commit();
    } catch (const pqxx::statement_completion_unknown& e) {
      broken = true;
      failure = e.what();
    } catch (const pqxx::transaction_rollback& e) {
      again = attempt < kAttempts;
      failure = e.what();
    } catch (const pqxx::broken_connection& e) {
      broken = true;
      failure = e.what();
    } catch (const pqxx::in_doubt_error& e) {
      broken = true;
      failure = e.what();
    } catch (const pqxx::failure& e) {
      failure = e.what();
    } catch (...) {
      Give(std::move(connection), false);
      throw;
    }
    Give(std::move(connection), broken);
    if (failure.empty()) return;
    if (!again) {
      while (!failure.empty() && failure.back() == '\n') failure.pop_back();
      throw StoreError("database: " + failure);
    }
  }
}

}  // namespace mailwarden::store

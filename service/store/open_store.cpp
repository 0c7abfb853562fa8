#include <string>

#include "service/store/postgres_store.h"
#include "service/store/sqlite_store.h"
#include "service/store/store.h"

namespace mailwarden::store {

std::unique_ptr<Store> OpenStore(std::string_view url) {
  if (url.starts_with("sqlite:")) {
    std::string path(url.substr(7));
    if (path.empty()) throw StoreError("the database URL " + std::string(url) + " names no file");
    return OpenSqliteStore(path);
  }
  if (IsPostgresUrl(url)) return OpenPostgresStore(std::string(url));
  throw StoreError("unknown database URL " + std::string(url) +
                   " (sqlite:PATH, sqlite::memory:, postgresql://... or a libpq key=value string)");
}

}  // namespace mailwarden::store

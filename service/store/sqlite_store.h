#pragma once
// The embedded engine: one SQLite database file in WAL mode (or one in
// memory). Writes go through one connection in turn; reads of a file
// database use connections of their own, so pages never wait on writes.
#include <memory>
#include <string>

#include "service/store/store.h"

namespace mailwarden::store {

// path: a file name, or ":memory:". Applies the migrations.
std::unique_ptr<Store> OpenSqliteStore(const std::string& path);

}  // namespace mailwarden::store

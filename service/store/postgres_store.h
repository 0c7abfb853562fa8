#pragma once
// The store on PostgreSQL (libpqxx), for several service processes sharing
// one database: nothing is kept in a process that another one needs.
// Credits are taken under a row lock on the account's month, so processes
// never together spend more than the month has.
#include <memory>
#include <string>

#include "service/store/store.h"

namespace mailwarden::store {

// url: any libpq connection string ("postgresql://...", "postgres://..." or
// "host=... dbname=..."). Connects, applies the migrations and keeps up to
// connections open. Throws StoreError.
std::unique_ptr<Store> OpenPostgresStore(const std::string& url, int connections = 16);

// True for what OpenPostgresStore takes: a postgresql:// or postgres:// URI,
// or a key=value connection string.
bool IsPostgresUrl(std::string_view url);

}  // namespace mailwarden::store

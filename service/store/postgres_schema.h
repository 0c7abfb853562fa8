#pragma once
// The PostgreSQL schema, as numbered migrations applied at start.
#include <pqxx/pqxx>

namespace mailwarden::store {

// Brings the database up to the newest schema in one transaction, under an
// advisory lock so two service processes starting at once do not both
// migrate. Throws StoreError when the database is newer than this program.
void MigratePostgres(pqxx::connection& connection);

}  // namespace mailwarden::store

#pragma once
#include "service/store/sqlite_db.h"

namespace mailwarden::store::sqlite {

// Brings the database to the newest schema, one numbered migration at a
// time, each in its own transaction; a database newer than this program is
// refused.
void Migrate(Connection& connection);

}  // namespace mailwarden::store::sqlite

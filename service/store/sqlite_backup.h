#pragma once
// Copies of an SQLite database that are consistent while the service runs:
// a plain file copy misses what is still in the write-ahead log.
#include <cstdint>
#include <string>

namespace mailwarden::store {

// Copies the database at path into file, a new file of mode 0600, in one
// read transaction (VACUUM INTO): the copy holds everything committed when
// it began, the log included, while the service goes on reading and
// writing. Returns the number of messages in the copy. Throws StoreError,
// naming the path, when path is no database or file exists.
std::int64_t BackupSqlite(const std::string& path, const std::string& file);

// Replaces the database at path (made, mode 0600, when missing) by the
// copy in file, once the copy proves a whole database of this service.
// The service must be stopped. Returns the number of messages restored.
std::int64_t RestoreSqlite(const std::string& file, const std::string& path);

}  // namespace mailwarden::store

#include "service/store/sqlite_backup.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "service/store/sqlite_db.h"
#include "service/store/store.h"

namespace mailwarden::store {
namespace {

// The messages of a database of ours; StoreError naming the path for any other file.
std::int64_t CountMessages(sqlite::Connection& connection, const std::string& path) {
  try {
    sqlite::Query check(connection, "PRAGMA quick_check");
    if (!check.Step() || check.Text(0) != "ok") throw StoreError("damaged");
  } catch (const StoreError& error) {
    const std::string what = error.what();
    if (what.find("not a database") != std::string::npos) throw StoreError(path + " is not an SQLite database");
    throw StoreError(path + " is not a whole SQLite database (" + what + ")");
  }
  try {
    sqlite::Query count(connection, "SELECT count(*) FROM messages");
    count.Step();
    return count.Int(0);
  } catch (const StoreError&) {
    throw StoreError(path + " is an SQLite database, but not one of mailwarden");
  }
}

}  // namespace

std::int64_t BackupSqlite(const std::string& path, const std::string& file) {
  sqlite::Connection source(path, false);
  CountMessages(source, path);
  int fd = ::open(file.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) {
    int error = errno;
    throw StoreError("cannot make the backup " + file + ": " +
                     (error == EEXIST ? "the file exists (a backup never overwrites one)" : std::strerror(error)));
  }
  ::close(fd);
  try {
    sqlite::Query(source, "VACUUM INTO ?").Bind(1, file).Run();
    sqlite::Connection copy(file, false);
    return CountMessages(copy, file);
  } catch (...) {
    std::filesystem::remove(file);
    throw;
  }
}

std::int64_t RestoreSqlite(const std::string& file, const std::string& path) {
  sqlite::Connection copy(file, false);
  std::int64_t messages = CountMessages(copy, file);
  sqlite::Connection target(path);
  sqlite3_backup* backup = sqlite3_backup_init(target.Handle(), "main", copy.Handle(), "main");
  if (!backup) target.Fail("cannot restore into " + path);
  int result = sqlite3_backup_step(backup, -1);
  sqlite3_backup_finish(backup);
  if (result != SQLITE_DONE) {
    throw StoreError("cannot restore into " + path + ": " + sqlite3_errstr(result) +
                     (result == SQLITE_BUSY || result == SQLITE_LOCKED ? " (stop the service first)" : ""));
  }
  return messages;
}

}  // namespace mailwarden::store

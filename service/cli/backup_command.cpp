#include <iostream>
#include <memory>
#include <string>

#include "service/cli/commands.h"
#include "service/store/postgres_store.h"
#include "service/store/sqlite_backup.h"

namespace mailwarden::cli {
namespace {

struct BackupArgs {
  std::string database;
  std::string file;
};

// The SQLite file of a database URL; PostgreSQL has its own tools.
std::string SqlitePath(const std::string& database, const char* command) {
  if (store::IsPostgresUrl(database)) {
    throw Failure(std::string("PostgreSQL is backed up with its own tools, while the service runs: pg_dump "
                              "--format=custom --file=FILE '") +
                  database + "', and restored with pg_restore --clean --if-exists --dbname='" + database +
                  "' FILE (see the README's \"Back up and restore\"); " + command + " is for SQLite");
  }
  if (!database.starts_with("sqlite:") || database == "sqlite::memory:" || database.size() == 7) {
    throw Failure("--database must name an SQLite file (sqlite:PATH), not " + database);
  }
  return database.substr(7);
}

}  // namespace

void AddBackup(CLI::App& app, Action& action) {
  auto args = std::make_shared<BackupArgs>();
  CLI::App* backup = app.add_subcommand(
      "backup", "Copy the database into a new FILE while the service runs (SQLite; for PostgreSQL use pg_dump)");
  AddDatabaseOption(*backup, args->database);
  backup->add_option("FILE", args->file, "The copy to make; it must not exist")->required();
  backup->callback([&action, args] {
    action = [args] {
      std::string path = SqlitePath(args->database, "backup");
      std::int64_t messages = store::BackupSqlite(path, args->file);
      std::cout << "backed up " << path << " to " << args->file << " (" << messages << " messages)" << std::endl;
      return 0;
    };
  });

  CLI::App* restore = app.add_subcommand(
      "restore", "Replace the database by a copy made by `mailwarden backup`; stop the service first");
  AddDatabaseOption(*restore, args->database);
  restore->add_option("FILE", args->file, "The copy made by `mailwarden backup`")->required()->check(CLI::ExistingFile);
  restore->callback([&action, args] {
    action = [args] {
      std::string path = SqlitePath(args->database, "restore");
      std::int64_t messages = store::RestoreSqlite(args->file, path);
      std::cout << "restored " << path << " from " << args->file << " (" << messages << " messages)" << std::endl;
      return 0;
    };
  });
}

}  // namespace mailwarden::cli
